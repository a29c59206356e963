#!/usr/bin/env bash
# The parameter windows that work on a selection or a layer's effect, with
# real X input: red-eye removal on an ellipse drawn with the mouse, the
# colour range picked by a click in the picture and then cut, and the shadow
# effect of a layer. Each effect is checked through the saved file (the
# shadow through the values the layer holds).
# usage: windows_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
AT="/usr/bin/python3 $(dirname "$0")/atspi_tool.py"

press() {   # the control named $1 (role $2); waits up to 6 s for it
    local xy=""
    for _ in $(seq 30); do xy=$($AT where "$1" "${2:-}" "${3:-0}") && break; sleep 0.2; done
    [ -n "$xy" ] || { echo "  (no control '$1' ${2:-})"; return 1; }
    xdotool mousemove $xy click 1
    sleep 0.5
}
menu_entry() {
    press "$1" menu || return 1
    sleep 0.3
    press "$2" "menu item" || { xdotool key Escape; return 1; }
}
wait_window() { for _ in $(seq 50); do dialog_shown "$1" && return 0; sleep 0.1; done; return 1; }
wait_closed() { for _ in $(seq 50); do dialog_shown "$1" || return 0; sleep 0.1; done; return 1; }
save() {
    local before
    before=$(stat -c %.9Y.%s "$1")
    key ctrl+s
    wait_changed "$1" "$before"
}
pixel() { $IM "$1" -format "%[pixel:p{$2,$3}]" info:; }
# Pixels that differ between two pictures, as a bounding box ("0x0+0+0"
# when none do).
diff_box() { $IM "$1" "$2" -compose difference -composite -threshold 0 -format '%@' info:; }
open_copy() {
    cp "$WORK/orig.bmp" "$WORK/$1"
    start "$WORK/$1"
    wait_title "Pimlora - $1 100 % " || fail "title of $1: '$(title)'"
    find_picture || fail "picture not found on the screen"
}
quit() {
    menu_quit
    dialog_shown "Pimlora" && dialog_key "Pimlora" shift+Tab shift+Tab Return
    wait_exit || { fail "editor did not end"; kill "$APP_PID" 2>/dev/null; }
}

# Magenta with a red eye (a disc round 60,60) and a cyan square.
$IM -size 300x200 xc:'#FF00FF' -fill '#E01010' -draw 'circle 60,60 60,72' \
    -fill '#00FFFF' -draw 'rectangle 200,60 259,119' -type TrueColor "BMP3:$WORK/orig.bmp"

# --- red eye: the panel, an ellipse round the eye, 적용 ---------------------------------------
open_copy eye.bmp
menu_entry "변형|꾸미기" "적안제거" || fail "menu 적안제거"
press "눈동자 선택" "push button" && pass "the red-eye panel shows its buttons" || fail "red-eye panel"
sleep 0.5
find_picture || fail "picture not found below the red-eye panel"
drag 40 40 80 80
press "적용" "push button" || fail "적용 of the red-eye panel"
save "$WORK/eye.bmp" || fail "save after red eye"
red=$(pixel "$WORK/eye.bmp" 60 60)
[ "$red" != "$(pixel "$WORK/orig.bmp" 60 60)" ] && pass "red eye: the pupil is no longer red ($red)" \
    || fail "red eye left the pupil as it was: $red"
box=$(diff_box "$WORK/orig.bmp" "$WORK/eye.bmp")
bx=$(echo "$box" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\1/'); by=$(echo "$box" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\2/')
bw=$(echo "$box" | sed 's/x.*//'); bh=$(echo "$box" | sed 's/^[0-9]*x\([0-9]*\)+.*/\1/')
# The selection's soft edge (the feather of the selection tools) may reach
# a few pixels beyond the drag; nothing else changes.
[ "$bx" -ge 30 ] && [ "$by" -ge 30 ] && [ $((bx + bw)) -le 90 ] && [ $((by + bh)) -le 90 ] \
    && pass "red eye changes nothing outside the selection" || fail "red eye changed $box"
quit

# --- colour range: a click on the cyan square picks it, 확인, then cut ---------------------------
open_copy range.bmp
menu_entry "영역선택" "색상범위지정" || fail "menu 색상범위지정"
press "허용정도" slider && pass "the colour-range panel shows its tolerance" || fail "colour-range panel"
sleep 0.5
find_picture || fail "picture not found beside the colour-range panel"
click 230 90
press "확인" "push button" || fail "확인 of the colour range"
xdotool mousemove $(at 150 180); sleep 0.2
key Delete
save "$WORK/range.bmp" || fail "save after the cut"

[ "$(diff_box "$WORK/orig.bmp" "$WORK/range.bmp")" = "60x60+200+60" ] \
    && pass "the cut removed exactly the cyan square picked by the click" \
    || fail "colour range cut changed $(diff_box "$WORK/orig.bmp" "$WORK/range.bmp")"
quit

# --- shadow effect of a layer: Ctrl+Shift+L sets it, Ctrl+Shift+E shows what the layer holds -----------------
"$CLI" doc "$WORK/orig.bmp" "$WORK/shadow.vor"
start "$WORK/shadow.vor"
wait_title "Pimlora - shadow.vor 100 % " || fail "title of shadow.vor: '$(title)'"
key ctrl+shift+l
wait_window "레이어효과\(그림자\)" && pass "Ctrl+Shift+L opens the shadow window" || fail "shadow window"
[ "$($AT value "그림자 효과" "check box" 2>/dev/null)" != 0 ] || fail "the shadow starts switched off"
press "거리" "spin button" && xdotool key ctrl+a && xdotool type --delay 40 "9" && xdotool key Tab && sleep 0.3
press "확인" "push button" || fail "확인 of the shadow window"
wait_closed "레이어효과\(그림자\)"
key ctrl+shift+e
wait_window "레이어효과\(그림자\)" || fail "Ctrl+Shift+E did not open the shadow window"
d=$($AT value "거리" "spin button" 2>/dev/null)
[ "$d" = 9 ] && pass "the layer holds the shadow's distance 9" || fail "distance of the layer's shadow: '$d'"
press "취소" "push button"
wait_closed "레이어효과\(그림자\)"
save "$WORK/shadow.vor" && pass "the document with its shadow is saved" || fail "save after the shadow"
"$CLI" layers "$WORK/shadow.vor" >/dev/null || fail "the saved document does not read back"
quit

finish
