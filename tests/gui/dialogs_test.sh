#!/usr/bin/env bash
# The panels and parameter windows: the filter panel (choose, move a slider,
# apply, keep, undo), binarize, image size, canvas size, levels, free
# rotation, calendar, photo frame, comb pattern, shadow effect, rename, red
# eye without a selection, colour range, new image with the proposed save
# name, and the flattening question. Controls are found by their accessible
# names (AT-SPI) and pressed with real X input; every effect is checked
# through the saved file.
# usage: dialogs_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
AT="/usr/bin/python3 $(dirname "$0")/atspi_tool.py"

# --- helpers -----------------------------------------------------------------------------
# Clicks the control named $1 (role $2, the $3-th of them); waits up to 6 s for it.
press() {
    local xy=""
    for _ in $(seq 30); do xy=$($AT where "$1" "${2:-}" "${3:-0}") && break; sleep 0.2; done
    [ -n "$xy" ] || { echo "  (no control '$1' ${2:-})"; return 1; }
    xdotool mousemove $xy click 1
    sleep 0.5
}
# Types $2 into the box named $1 in place of its text.
type_into() {
    press "$1" "${3:-text}" || return 1
    xdotool key ctrl+a
    xdotool type --delay 40 "$2"
    sleep 0.4
}
# The menu entry $2 of the menu $1, by the mouse: the menu's title, then
# the entry, both found by name.
menu_entry() {
    press "$1" menu || return 1
    sleep 0.3
    press "$2" "menu item" || { xdotool key Escape; return 1; }
}
wait_window() {
    for _ in $(seq 50); do dialog_shown "$1" && return 0; sleep 0.1; done
    return 1
}
wait_closed() {
    for _ in $(seq 50); do dialog_shown "$1" || return 0; sleep 0.1; done
    return 1
}
# Moves the slider named $1 to the value $2 with the arrow keys.
slide_to() {
    local v
    press "$1" slider || return 1
    for _ in $(seq 40); do
        v=$($AT value "$1" slider) || return 1
        [ "$v" -eq "$2" ] && return 0
        if [ "$v" -lt "$2" ]; then xdotool key Right; else xdotool key Left; fi
        sleep 0.15
    done
    return 1
}
save() {
    local before
    before=$(stat -c %.9Y.%s "$1")
    key ctrl+s
    wait_changed "$1" "$before"
}
layers() { "$CLI" layers "$1"; }

$IM -size 160x120 plasma:fractal -seed 7 -type TrueColor "BMP3:$WORK/orig.bmp"
cp "$WORK/orig.bmp" "$WORK/pic.bmp"

# --- filter panel: choose, slide, apply, keep; the step and its undo -------------------------
start "$WORK/pic.bmp"
wait_title "Pimlora - pic.bmp 100 % " || fail "picture did not open: '$(title)'"
grep -q "wxPizza\|gtk_window_get_has_resize_grip" "$WORK/app.log" && fail "GTK warnings for the document window" \
    || pass "a new document window prints no GTK warnings"
press "이미지 필터링" "push button" && pass "the tool bar's filter button is found by its name" || fail "filter button"
press "필터" "combo box" && press "흐리게" "menu item" || fail "choosing 흐리게"
[ "$($AT text '흐림(1‥9)' label 2>/dev/null)" = "흐림(1‥9)" ] && pass "the parameter label reads 흐림(1‥9)" \
    || fail "label of 흐리게"
slide_to "흐림(1‥9)" 7 && pass "the slider moves to 7" || fail "slider did not reach 7"
sleep 1.5   # the live preview comes after a short pause
press "적용" "push button" || fail "적용"
press "닫기" "push button" 0 || fail "닫기"
save "$WORK/pic.bmp" || fail "Ctrl+S did not write the filtered picture"
"$CLI" run "$WORK/orig.bmp" "$WORK/want.bmp" "filter:흐리게:7" >/dev/null
same_pixels "$WORK/pic.bmp" "$WORK/want.bmp" && pass "the kept picture is 흐리게 with 7" || fail "filtered pixels differ"
# The step is recorded under the filter's name, as the same step of the cli lists it.
"$CLI" run "$WORK/orig.bmp" "$WORK/want.bmp" --journal "filter:흐리게:7" | grep -q ' 흐리게$' \
    && pass "the filter's step is named 흐리게" || fail "step name"
# One undo puts the picture back (saved under a new name: the save-as dialog).
key ctrl+z
key ctrl+shift+s
sleep 1.5
xdotool key ctrl+a
xdotool type --delay 30 "$WORK/undone.bmp"
xdotool key Return
sleep 1.5
same_pixels "$WORK/undone.bmp" "$WORK/orig.bmp" && pass "one undo puts the picture back" || fail "undo did not restore"
cp "$WORK/orig.bmp" "$WORK/pic.bmp"
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return
wait_exit || fail "program did not end after the filter"
start "$WORK/pic.bmp"

# --- the panel's preview is not committed: 시작 이미지 and cancel leave the picture -------------
press "이미지 필터링" "push button" || fail "panel shown again"
press "필터" "combo box" && press "엠보스" "menu item" || fail "choosing 엠보스"
slide_to "추출정도(1‥10)" 5 || fail "emboss slider"
sleep 2
press "시작 이미지" "push button" 0 || fail "시작 이미지"
press "이미지 필터링" "push button"   # hidden: nothing kept
save "$WORK/pic.bmp" 2>/dev/null
same_pixels "$WORK/pic.bmp" "$WORK/orig.bmp" && pass "a preview put back with 시작 이미지 leaves the picture as it was" \
    || fail "preview changed the picture"

# --- binarize (이진영상으로), modal ------------------------------------------------------------
menu_entry "이미지" "이진영상으로" || fail "menu 이진영상으로"
wait_window "이진영상으로" && pass "이진영상으로 opens its window" || fail "binarize window"
press "닫기" "push button" 0
wait_closed "이진영상으로" || fail "binarize window did not close"
save "$WORK/pic.bmp" || fail "save after binarize"
"$CLI" run "$WORK/orig.bmp" "$WORK/want.bmp" "filter:임계치변환" >/dev/null
same_pixels "$WORK/pic.bmp" "$WORK/want.bmp" && pass "binarize keeps FS dithering at 128" || fail "binarized pixels differ"
key ctrl+z

# --- image size: 80 wide keeps the proportions -------------------------------------------------
menu_entry "이미지" "이미지 크기" || fail "menu 이미지 크기"
wait_window "이미지 크기 지정" || fail "image size window"
type_into "폭" 80
[ "$($AT text '높이' text)" = "60" ] && pass "image size: width 80 shows height 60" || fail "height box: $($AT text '높이' text)"
xdotool key Return
wait_closed "이미지 크기 지정"
save "$WORK/pic.bmp" || fail "save after image size"
[ "$(identify -format %wx%h "$WORK/pic.bmp")" = "80x60" ] && pass "the saved picture is 80 x 60" \
    || fail "size after image size: $(identify -format %wx%h "$WORK/pic.bmp")"

# --- canvas size: 100 x 80 around the centre ---------------------------------------------------------
menu_entry "이미지" "캔버스 크기" || fail "menu 캔버스 크기"
wait_window "캔버스 크기 조정" || fail "canvas size window"
type_into "폭" 100
type_into "높이" 80
press "기준 가운데" "toggle button"
press "확인" "push button" 0 || press "OK" "push button" 0 || xdotool key Return
wait_closed "캔버스 크기 조정"
save "$WORK/pic.bmp" || fail "save after canvas size"
[ "$(identify -format %wx%h "$WORK/pic.bmp")" = "100x80" ] && pass "the saved canvas is 100 x 80" \
    || fail "size after canvas size: $(identify -format %wx%h "$WORK/pic.bmp")"
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return
wait_exit || fail "program did not end"

# --- levels: the low marker dragged to 60 -----------------------------------------------------------------
cp "$WORK/orig.bmp" "$WORK/pic.bmp"
start "$WORK/pic.bmp"
menu_entry "이미지" "픽셀분포조정" || fail "menu 픽셀분포조정"
wait_window "픽셀분포조정" || fail "levels window"
# The strip lies under the graph: its x is 10 + level in the dialog.
# The channel button "RGB" stands at (300, 32) of the dialog.
read -r rx ry _ _ < <($AT box RGB "radio button")
ox=$((rx - 300)); oy=$((ry - 32))
xdotool mousemove $((ox + 10)) $((oy + 160))
sleep 0.3
xdotool mousedown 1
sleep 0.3
for x in 30 50 70; do xdotool mousemove $((ox + x)) $((oy + 160)); sleep 0.2; done
xdotool mouseup 1
sleep 0.8
press "확인" "push button"
wait_closed "픽셀분포조정"
save "$WORK/pic.bmp" || fail "save after levels"
"$CLI" run "$WORK/orig.bmp" "$WORK/want.bmp" "levels:0,60,255" >/dev/null
same_pixels "$WORK/pic.bmp" "$WORK/want.bmp" && pass "levels: the marker at 60 maps 60..255 to 0..255" \
    || fail "levels pixels differ"

# --- free rotation: 90 degrees in the number box, 확인 -------------------------------------------------------
cp "$WORK/orig.bmp" "$WORK/pic.bmp"
menu_entry "이미지회전" "   자유회전" || fail "menu 자유회전"
type_into "상세조정" 90 && press "확인" "push button" || fail "rotation panel"
save "$WORK/pic.bmp" || fail "save after rotation"
"$CLI" run "$WORK/want.bmp" "$WORK/want2.bmp" "rotate:90" >/dev/null
same_pixels "$WORK/pic.bmp" "$WORK/want2.bmp" && pass "free rotation keeps 90 degrees on the levelled picture" \
    || fail "rotated pixels differ"
menu_quit
wait_exit || fail "program did not end after rotation"

# --- layered work on a VOR: calendar, photo frame, pattern, shadow, rename ----------------------------------
"$CLI" doc "$WORK/orig.bmp" "$WORK/work.vor" >/dev/null
start "$WORK/work.vor"
menu_entry "변형|꾸미기" "달력넣기" || fail "menu 달력넣기"
wait_window "달력넣기" || fail "calendar window"
type_into "년" 2024
type_into "월" 2
press "확인" "push button"
wait_closed "달력넣기"
menu_entry "변형|꾸미기" "사진틀넣기" || fail "menu 사진틀넣기"
wait_window "액자틀 선택" || fail "frame window"
type_into "틀의두께" 12
press "확인" "push button"
wait_closed "액자틀 선택"
menu_entry "변형|꾸미기" "빗살무뉘넣기" || fail "menu 빗살무뉘넣기"
wait_window "빗살무뉘넣기" || fail "pattern window"
press "확인" "push button" || press "OK" "push button" || xdotool key Return
wait_closed "빗살무뉘넣기"
save "$WORK/work.vor" || fail "save of the layered document"
layers "$WORK/work.vor" > "$WORK/layers.txt"
grep -q '\[달력\] 2월' "$WORK/layers.txt" && pass "calendar: a layer ' [달력] 2월'" || fail "no calendar layer: $(cat "$WORK/layers.txt")"
grep -q 'ImgFrame' "$WORK/layers.txt" && pass "photo frame: the layer [ImgFrame]" || fail "no frame layer"
[ "$(grep -c '^slot=' "$WORK/layers.txt")" -eq 4 ] && pass "pattern: a fourth layer" || fail "layer count $(grep -c '^slot=' "$WORK/layers.txt")"
menu_quit
wait_exit || fail "program did not end after the layered work"

# --- saving layers into a flat format asks first -------------------------------------------------------------
start "$WORK/work.vor"
key ctrl+shift+s
sleep 1.5
$AT texts | grep 'work.vor' >/dev/null && pass "save-as proposes the VOR name with its extension" || fail "proposed name: $($AT texts)"
xdotool key ctrl+a
xdotool type --delay 30 "$WORK/flat.bmp"
xdotool key Return
wait_window "Pimlora" && pass "saving layers to BMP asks first" || fail "no flattening question"
xdotool key Escape
sleep 0.8
[ -f "$WORK/flat.bmp" ] && fail "the flat file was written after No" || pass "answering No writes nothing"
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return
wait_exit

# --- new image: the dialog, the proposed save name -------------------------------------------------------------
start
key ctrl+n
wait_window "새 이미지" && pass "Ctrl+N without a clipboard picture asks for the size" || fail "new image window"
type_into "폭" 64 "spin button"
type_into "높이" 48 "spin button"
xdotool key Return
wait_title "Pimlora - Pimlora1 100 % " && pass "the new picture is titled Pimlora1" || fail "new title: '$(title)'"
key ctrl+s
sleep 1.5
$AT texts | grep -x 'Pimlora1.jpg' >/dev/null && pass "saving a new picture proposes Pimlora1.jpg" || fail "proposed: $($AT texts)"
xdotool key ctrl+a
xdotool type --delay 30 "$WORK/new1.jpg"
xdotool key Return
sleep 1.5
[ "$(identify -format %wx%h "$WORK/new1.jpg" 2>/dev/null)" = "64x48" ] && pass "the new picture is saved 64 x 48" \
    || fail "new picture not saved"
menu_quit
wait_exit

finish
