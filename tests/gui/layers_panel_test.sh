#!/usr/bin/env bash
# More of the layers panel with real X input, each effect read back from
# what a user sees: the saved VOR (pimlora-cli layers, and the pixels of one
# layer alone), the window title, the screen.
#  - a click on a row makes its layer current and names it in the title;
#  - the edit button of a balloon layer opens the balloon editor, that of
#    a text layer the text editor, and the text typed there reaches the
#    saved file; a double click opens the current layer's editor;
#  - the context menu opens at the mouse and its "레이어 복제" duplicates;
#  - "전체복사" (the whole current layer, whatever is selected) and a paste
#    give a new layer equal to the current one;
#  - Delete and Ctrl+X with the panel focused clear the selected part of the
#    current layer (Ctrl+X also puts it on the clipboard);
#  - with 15 layers the scroll bar's arrows and pages show the other rows;
#  - a drag of the panel's top strip floats it, and moves it once floating;
#  - "늘여 보기" makes the floating panel 890 pixels tall and back 380;
#  - on the history page a line selects itself and every later one, and the
#    undo button takes them all back.
# usage: layers_panel_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

# --- helpers -------------------------------------------------------------------------------
# The panel's origin and size on screen (PX, PY, PW, PH).
locate_panel() {
    local where=""
    for _ in $(seq 30); do where=$(where_named "레이어창" panel) && break; sleep 0.2; done
    [ -n "$where" ] || return 1
    read -r PX PY PW PH <<<"$where"
}
# A click (or another button: $3) at panel coordinates.
pclick() { xdotool mousemove $((PX + $1)) $((PY + $2)) click "${3:-1}"; sleep 0.6; }
row_y() { echo $((140 + 65 * $1 + ${2:-30})); }
save() {
    local before
    before=$(stat -c %.9Y.%s "$1")
    xdotool key ctrl+s
    wait_changed "$1" "$before"
}
stack() { "$CLI" layers "$1" | sed -n 's/^slot=\([0-9]*\).*/\1/p' | tr '\n' ' '; }
field() { "$CLI" layers "$1" | grep "^slot=$2 " | sed -n "s/.* $3=\([^ ]*\).*/\1/p"; }
# The picture of slot $2 of VOR $1 alone (every other layer hidden) as BMP $3.
only_layer() {
    local steps=() s
    for s in $(stack "$1"); do [ "$s" = "$2" ] || steps+=("visible:$s,0"); done
    steps+=("visible:$2,1")
    "$CLI" run "$1" "$WORK/only.vor" "${steps[@]}" >/dev/null && "$CLI" convert "$WORK/only.vor" "$3"
}
# "R,G,B" of pixel ($2,$3) of picture $1.
pixel() { $IM "$1" -format "%[fx:int(255*u.p{$2,$3}.r)],%[fx:int(255*u.p{$2,$3}.g)],%[fx:int(255*u.p{$2,$3}.b)]" info:; }
# Distinct colours in the area W x H + X + Y of picture $1.
colours_in() { $IM "$1" -crop "$2" +repage -format '%k' info:; }
shot() { [ -n "$BUILD" ] && import -window root "$BUILD/layers_panel_$1.png" 2>/dev/null; }
# The panel's row $1 (thumbnail, buttons and body) as it is on the screen now, into $2.
row_crop() {
    import -window root "$WORK/screen.png"
    $IM "$WORK/screen.png" -crop "229x60+$((PX + 3))+$((PY + $(row_y "$1" 0)))" +repage "$2"
}
# The picture on the screen (OX, OY) left of the panel, whose thumbnails show it too.
find_picture_left() {
    import -window root "$WORK/shot.png"
    local geo
    geo=$($IM "$WORK/shot.png" -crop "${PX}x2000+0+0" +repage -fill black +opaque '#FF00FF' -format '%@' info:)
    OX=$(echo "$geo" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\1/')
    OY=$(echo "$geo" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\2/')
    [ "${geo%%+*}" = "300x200" ]
}
same_image() { [ "$($IM "$1" -depth 8 rgb:- | md5sum)" = "$($IM "$2" -depth 8 rgb:- | md5sum)" ]; }

# A magenta picture with a cyan square (found on the screen by its colour).
$IM -size 300x200 xc:'#FF00FF' -fill '#00FFFF' -draw 'rectangle 200,60 259,119' -type TrueColor "BMP3:$WORK/pic.bmp"

# === the picture (0), an empty layer (1), a text layer (2) and a balloon (3) ===
"$CLI" run "$WORK/pic.bmp" "$WORK/text.vor" 1552 "text:20,20,24,FF0000:AB" "balloon:60,120,16,000000:Hi" >/dev/null \
    || fail "cli could not build the document"
[ "$(stack "$WORK/text.vor")" = "0 1 2 3 " ] && [ "$(field "$WORK/text.vor" 2 kind)" = 2 ] \
    || fail "unexpected starting stack: $("$CLI" layers "$WORK/text.vor")"
"$CLI" convert "$WORK/text.vor" "$WORK/text0.bmp"

start "$WORK/text.vor"
wait_title "Pimlora - text.vor 100 % " || fail "the VOR did not open: '$(title)'"
menu_item "보기" "레이어.작업내역" || fail "no menu entry 레이어.작업내역"
locate_panel && pass "the layers panel is shown" || fail "no layers panel"
shot start

# --- a click on a row: its layer is current, the title names it ----------------------------
pclick 170 "$(row_y 2)"
wait_title "Pimlora - text.vor 100 %  레이어 1" && pass "a click on a row names its layer in the title" \
    || fail "title after the row click: '$(title)'"

# --- the edit buttons: the balloon's opens the balloon editor, the text's the text editor ---
pclick 97 "$(row_y 0 48)"
for _ in $(seq 30); do where_named "말풍선 수정" "push button" >/dev/null 2>&1 && break; sleep 0.1; done
where_named "말풍선 수정" "push button" >/dev/null 2>&1 && pass "the edit button of a balloon layer opens the balloon editor" \
    || fail "no balloon editor after the balloon's edit button"
window_titled "글자 수정" >/dev/null && { fail "the balloon's edit button opened the text editor"; xdotool key Escape; }
wait_title "Pimlora - text.vor 100 %  레이어 3" || fail "the edit button did not make the balloon current: '$(title)'"
locate_panel
pclick 97 "$(row_y 1 48)"
for _ in $(seq 50); do window_titled "글자 수정" >/dev/null && break; sleep 0.1; done
if window_titled "글자 수정" >/dev/null; then
    pass "the edit button of a text layer opens the text editor"
    wait_title "Pimlora - text.vor 100 %  레이어 2" || fail "the edit button did not make the text layer current: '$(title)'"
    sleep 0.4
    xdotool key ctrl+a; xdotool type --delay 40 "ABCDEFGH"; sleep 0.3
    click_named "확인" "push button" || fail "no 확인 in the text editor"
    sleep 0.8
    save "$WORK/text.vor" || fail "save after the text edit"
    "$CLI" convert "$WORK/text.vor" "$WORK/text1.bmp"
    red0=$($IM "$WORK/text0.bmp" -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:int(mean*w*h)]' info:)
    red1=$($IM "$WORK/text1.bmp" -fill black +opaque '#FF0000' -fill white -opaque '#FF0000' -format '%[fx:int(mean*w*h)]' info:)
    [ "$(field "$WORK/text.vor" 2 kind)" = 2 ] && [ "$red1" -gt $((red0 * 2)) ] \
        && pass "the edited text reaches the saved file (red pixels $red0 -> $red1)" \
        || fail "after the text edit: kind $(field "$WORK/text.vor" 2 kind), red pixels $red0 -> $red1"
else
    fail "no text editor after the edit button"
    xdotool key Escape
fi
shot edited
# A double click on the panel opens the editor of the current (text) layer;
# cancelling it changes nothing.
xdotool mousemove $((PX + 170)) $((PY + $(row_y 1))) click --repeat 2 --delay 80 1; sleep 0.3
for _ in $(seq 50); do window_titled "글자 수정" >/dev/null && break; sleep 0.1; done
if window_titled "글자 수정" >/dev/null; then
    pass "a double click opens the text editor of the current layer"
    sleep 0.4
    xdotool key Escape; sleep 0.6
    window_titled "글자 수정" >/dev/null && fail "Escape did not close the text editor"
else
    fail "no text editor after a double click on the text layer's row"
fi

# --- the context menu at the mouse: "레이어 복제" of the picture layer -------------------------
locate_panel
pclick 170 "$(row_y 3)"            # the background (all four rows fit: nothing scrolls)
wait_title "Pimlora - text.vor 100 %  레이어 0" || fail "title after choosing the background: '$(title)'"
mx=$((PX + 170)) my=$((PY + $(row_y 3)))
xdotool mousemove $mx $my click 3; sleep 0.8
shot menu
if where=$(where_named "복사" "menu item"); then
    # Its first entry starts at the mouse (left of it near the screen's edge).
    read -r ix iy iw _ <<<"$where"
    [ "$ix" -le $((mx + 10)) ] && [ $((ix + iw)) -ge $((mx - 10)) ] && [ $((iy - my)) -ge -10 ] && [ $((iy - my)) -le 40 ] \
        && pass "the context menu opens at the mouse" || fail "context menu at $ix,$iy ($iw wide), mouse at $mx,$my"
    click_named "레이어 복제" "menu item" || fail "no 레이어 복제 in the context menu"
    sleep 0.8
else
    fail "no context menu"
    xdotool key Escape
fi
save "$WORK/text.vor" || fail "save after the duplicate"
read -r -a st <<<"$(stack "$WORK/text.vor")"
dup=${st[1]:-}
[ "${#st[@]}" -eq 5 ] && [ "${st[0]}" = 0 ] && [ "$(field "$WORK/text.vor" "$dup" width)" = 300 ] \
    && pass "레이어 복제 of the context menu puts a copy above the picture layer" \
    || fail "stack after the duplicate: $("$CLI" layers "$WORK/text.vor")"

# --- "전체복사" with a part selected, then a paste: a new layer equal to the current one -------
find_picture_left || fail "picture not found on the screen"
xdotool mousemove $((OX - 20)) $((OY - 20)) click 1; sleep 0.3
xdotool key m; sleep 0.3
drag 20 20 100 80
locate_panel
# Button 1549: its tool tip names it in full (a dark box beside the mouse).
xdotool mousemove $((PX + 152)) $((PY + 122)); sleep 1.5
import -window root "$WORK/screen.png"
dark=$($IM "$WORK/screen.png" -crop "150x20+$((PX + 160))+$((PY + 138))" -colorspace gray -format '%[fx:mean<0.25]' info:)
[ "$dark" = 1 ] && pass "전체복사 shows its tool tip" || fail "no tool tip beside 전체복사"
shot tooltip
pclick 152 122                      # button 1549
xclip -selection clipboard -t image/png -o >"$WORK/clip.png" 2>/dev/null
[ "$($IM "$WORK/clip.png" -format '%wx%h' info: 2>/dev/null)" = "300x200" ] \
    && pass "전체복사 puts the whole layer on the clipboard, not the selected part" \
    || fail "clipboard after 전체복사: $($IM "$WORK/clip.png" -format '%wx%h' info: 2>&1 | head -1)"
xdotool key ctrl+v; sleep 0.8
save "$WORK/text.vor" || fail "save after the paste"
read -r -a st2 <<<"$(stack "$WORK/text.vor")"
pasted=${st2[2]:-}
if [ "${#st2[@]}" -eq 6 ] && [ "${st2[1]}" = "$dup" ]; then
    only_layer "$WORK/text.vor" "$dup" "$WORK/dup.bmp"
    only_layer "$WORK/text.vor" "$pasted" "$WORK/pasted.bmp"
    same_image "$WORK/dup.bmp" "$WORK/pasted.bmp" && [ "$(field "$WORK/text.vor" "$pasted" x)" = 0 ] \
        && pass "the paste gives a new layer above it equal to the current one" \
        || fail "the pasted layer differs from the copied one"
else
    fail "stack after the paste: $("$CLI" layers "$WORK/text.vor")"
fi

# --- Delete and Ctrl+X with the panel focused ------------------------------------------------
# The pasted layer is current; a selection, then Delete in the panel.
xdotool mousemove $((OX - 20)) $((OY - 20)) click 1; sleep 0.3
drag 20 20 100 80
pclick 140 37                       # the panel takes the keyboard (no button there)
xdotool key Delete; sleep 0.8
save "$WORK/text.vor" || fail "save after Delete"
only_layer "$WORK/text.vor" "$pasted" "$WORK/cut1.bmp"
[ "$(colours_in "$WORK/cut1.bmp" 79x59+21+21)" = 1 ] && [ "$(pixel "$WORK/cut1.bmp" 40 40)" = "0,0,0" ] \
    && [ "$(pixel "$WORK/cut1.bmp" 150 150)" = "255,0,255" ] && [ "$(pixel "$WORK/cut1.bmp" 110 40)" = "255,0,255" ] \
    && pass "Delete in the panel makes the selected part of the current layer transparent" \
    || fail "after Delete: $(pixel "$WORK/cut1.bmp" 40 40) inside, $(pixel "$WORK/cut1.bmp" 150 150) outside"
only_layer "$WORK/text.vor" "$dup" "$WORK/dup2.bmp"
same_image "$WORK/dup.bmp" "$WORK/dup2.bmp" || fail "Delete changed another layer"
# Undo, another selection, then Ctrl+X in the panel.
xdotool key ctrl+z; sleep 0.6
xdotool mousemove $((OX - 20)) $((OY - 20)) click 1; sleep 0.3
drag 150 100 210 150
pclick 140 37
xdotool key ctrl+x; sleep 0.8
save "$WORK/text.vor" || fail "save after Ctrl+X"
only_layer "$WORK/text.vor" "$pasted" "$WORK/cut2.bmp"
[ "$(pixel "$WORK/cut2.bmp" 40 40)" = "255,0,255" ] && [ "$(pixel "$WORK/cut2.bmp" 170 120)" = "0,0,0" ] \
    && [ "$(colours_in "$WORK/cut2.bmp" 59x49+151+101)" = 1 ] && [ "$(pixel "$WORK/cut2.bmp" 230 160)" = "255,0,255" ] \
    && pass "Ctrl+X in the panel cuts the new selection (the undone Delete stays undone)" \
    || fail "after Ctrl+X: $(pixel "$WORK/cut2.bmp" 40 40) at the first part, $(pixel "$WORK/cut2.bmp" 170 120) in the second"
xclip -selection clipboard -t image/png -o >"$WORK/clip2.png" 2>/dev/null
size=$($IM "$WORK/clip2.png" -format '%wx%h' info: 2>/dev/null)
[ "$size" = "61x51" ] || [ "$size" = "60x50" ] && pass "Ctrl+X puts the cut part on the clipboard ($size)" \
    || fail "clipboard after Ctrl+X: '$size'"
shot cut
xdotool key ctrl+d; sleep 0.3
xdotool key ctrl+q
wait_exit || kill "$APP_PID" 2>/dev/null

# === 15 layers: scrolling, "늘여 보기", the history page ===================================
"$CLI" run "$WORK/pic.bmp" "$WORK/many.vor" $(for _ in $(seq 14); do echo 1552; done) >/dev/null \
    || fail "cli could not build 15 layers"
start "$WORK/many.vor"
wait_title "Pimlora - many.vor 100 % " || fail "many.vor did not open: '$(title)'"
menu_item "보기" "레이어.작업내역" || fail "no menu entry 레이어.작업내역"
locate_panel || fail "no layers panel"
rows=$(( (PH - 140) / 65 )); [ "$rows" -gt 11 ] && rows=11
read -r SX SY SW SH <<<"$(where_named "레이어 스크롤" "scroll bar")"
bar_bottom=$((140 + rows * 65 - 5))
shot many
# The background is current, in the last row; the rows above are full.
row_crop 0 "$WORK/r0.png"
row_crop 1 "$WORK/r1.png"
# The line arrows at both ends of the bar; Shift and a click in the bar's
# trough pages (a plain click puts the slider there).
up() { pclick 246 148; }
down() { pclick 246 $((bar_bottom - 8)); }
page_up() { xdotool mousemove $((SX + SW / 2)) $((SY + 6)) keydown shift click 1 keyup shift; sleep 0.5; }
page_down() { xdotool mousemove $((SX + SW / 2)) $((SY + SH - 6)) keydown shift click 1 keyup shift; sleep 0.5; }
if [ "$rows" -ge 5 ] && [ "$rows" -lt 15 ]; then
    up
    row_crop 1 "$WORK/a.png"
    same_image "$WORK/a.png" "$WORK/r0.png" && pass "the up arrow moves the rows down by one" \
        || fail "the up arrow did not show the row above"
    page_up
    row_crop 3 "$WORK/a.png"
    same_image "$WORK/a.png" "$WORK/r0.png" && pass "a page up moves them by two" || fail "page up"
    down
    row_crop 2 "$WORK/a.png"
    same_image "$WORK/a.png" "$WORK/r0.png" && pass "the down arrow shows the next row" || fail "the down arrow"
    page_down; down
    row_crop 0 "$WORK/a.png"
    same_image "$WORK/a.png" "$WORK/r1.png" && pass "page down shows the later rows" || fail "page down"
    # At the bottom: the background's thumbnail (magenta) in the first row;
    # arrows beyond the last layer change nothing.
    for _ in $(seq 11); do down; done
    import -window root "$WORK/screen.png"
    [ "$(pixel "$WORK/screen.png" $((PX + 30)) $((PY + $(row_y 0))))" = "255,0,255" ] \
        && pass "scrolled to the end, the first row shows the bottom layer" || fail "the end of the scroll"
    shot scrolled
else
    fail "unexpected row count $rows (panel $PW x $PH)"
fi

# --- the top strip drags the panel: out of its dock, then as a window of its own --------------
# The test's window manager fills the screen with every window it manages:
# without it the floating panel keeps the size it asks for.
for j in $(jobs -p); do ps -p "$j" -o args= 2>/dev/null | grep matchbox >/dev/null && kill "$j"; done
sleep 0.5
xdotool mousemove $((PX + 225)) $((PY + 12)) mousedown 1; sleep 0.3
for s in 1 2 3 4 5 6; do xdotool mousemove $((PX + 225 - 100 * s)) $((PY + 12 + 10 * s)); sleep 0.15; done
xdotool mouseup 1; sleep 1
locate_panel
floating=$(xdotool search --onlyvisible --name '레이어창' 2>/dev/null | head -1)
if [ -n "$floating" ]; then
    pass "a drag of the top strip floats the panel"
    geometry() { xwininfo -id "$floating" | sed -n 's/.*Absolute upper-left [XY]: *//p' | tr '\n' ' '; }
    read -r fx fy <<<"$(geometry)"
    xdotool mousemove $((PX + 225)) $((PY + 12)) mousedown 1; sleep 0.3
    for s in 1 2 3 4 5; do xdotool mousemove $((PX + 225 + 30 * s)) $((PY + 12 + 16 * s)); sleep 0.15; done
    xdotool mouseup 1; sleep 0.8
    read -r gx gy <<<"$(geometry)"
    [ $((gx - fx)) -ge 145 ] && [ $((gx - fx)) -le 155 ] && [ $((gy - fy)) -ge 75 ] && [ $((gy - fy)) -le 85 ] \
        && pass "the top strip moves the floating panel with the mouse" \
        || fail "the floating panel moved from $fx,$fy to $gx,$gy (the mouse by 150,80)"
    locate_panel
    pclick 215 36
    locate_panel
    fh=$(xwininfo -id "$floating" | sed -n 's/.*Height: *//p')
    [ "$PH" -eq 890 ] && pass "늘여 보기 makes the floating panel 890 pixels tall (window $fh)" \
        || fail "after 늘여 보기 the panel is $PW x $PH (window $fh)"
    shot tall
    pclick 215 36
    locate_panel
    fh2=$(xwininfo -id "$floating" | sed -n 's/.*Height: *//p')
    [ "$PH" -eq 380 ] && [ "$fh2" -lt "$fh" ] && pass "늘여 보기 again gives 380 pixels (window $fh2)" \
        || fail "after the second 늘여 보기 the panel is $PW x $PH (window $fh2)"
else
    fail "the panel did not float"
fi

# --- the history page: a line selects to the end, undo takes them back ------------------------
for _ in 1 2 3; do pclick 23 57; done       # "추가" three times
pclick 142 13
read -r hx hy hw hh <<<"$(where_named "작업내역")"
# Lines of 27 pixels: the opening, then the three additions.
xdotool mousemove $((hx + 60)) $((hy + 27 * 2 + 13)) click 1; sleep 0.6
import -window root "$WORK/screen.png"
shot history
sel() { [ "$(pixel "$WORK/screen.png" $((hx + hw - 30)) $((hy + 27 * $1 + 3)))" != "$(pixel "$WORK/screen.png" $((hx + hw - 30)) $((hy + 27 * 0 + 3)))" ]; }
sel 2 && sel 3 && ! sel 1 && pass "a history line selects itself and every later one" \
    || fail "history selection: lines 1 $(sel 1 && echo on || echo off), 2 $(sel 2 && echo on || echo off), 3 $(sel 3 && echo on || echo off)"
xdotool mousemove $((hx + hw / 4)) $((hy + hh + 14)) click 1; sleep 0.8
save "$WORK/many.vor" || fail "save after the history undo"
[ "$(stack "$WORK/many.vor" | wc -w)" -eq 16 ] && pass "the undo button takes the selected steps back" \
    || fail "$(stack "$WORK/many.vor" | wc -w) layers after the history undo (wanted 16)"

xdotool key ctrl+q
wait_exit || kill "$APP_PID" 2>/dev/null
finish
