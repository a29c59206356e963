#!/usr/bin/env bash
# The layers panel with real X input: add a layer with its button, hide a
# layer with its eye, choose a blend mode and a fade for the current layer,
# drag a row onto another; every effect is read back from the saved VOR
# (pimlora-cli layers, bottom of the stack first). Then the history page:
# its undo takes back the reordering, and a menu command (Ctrl+Z, redo) is
# followed by the panel's rows; a row dragged out of the panel goes to
# the clipboard and into the picture window as a new layer. Saves screenshots of the panel for a look.
# usage: panels_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
AT="/usr/bin/python3 $(dirname "$0")/atspi_tool.py"

press() {
    local xy=""
    for _ in $(seq 30); do xy=$($AT where "$1" "${2:-}" "${3:-0}") && break; sleep 0.2; done
    [ -n "$xy" ] || { echo "  (no control '$1' ${2:-})"; return 1; }
    xdotool mousemove $xy click 1
    sleep 0.5
}
# The panel's origin on screen, from its blend combo (placed at 30, 68 in it).
PX=0 PY=0
locate_panel() {
    local where=""
    for _ in $(seq 30); do where=$(where_named "혼합 방식" "combo box") && break; sleep 0.2; done
    [ -n "$where" ] || return 1
    read -r cx cy _ _ <<<"$where"
    PX=$((cx - 30)) PY=$((cy - 68))
}
# A click at panel coordinates.
at() { xdotool mousemove $((PX + $1)) $((PY + $2)) click 1; sleep 0.6; }
row_y() { echo $((140 + 65 * $1 + ${2:-30})); }
save() {
    local before
    before=$(stat -c %.9Y.%s "$1")
    key ctrl+s
    wait_changed "$1" "$before"
}
stack() { "$CLI" layers "$1" | sed -n 's/^slot=\([0-9]*\).*/\1/p' | tr '\n' ' '; }
field() { "$CLI" layers "$1" | grep "^slot=$2 " | sed -n "s/.* $3=\([0-9]*\).*/\1/p"; }
shot() { [ -n "$BUILD" ] && import -window root "$BUILD/panels_$1.png" 2>/dev/null; }

$IM -size 160x120 plasma:fractal -seed 3 -type TrueColor "BMP3:$WORK/pic.bmp"
# Three layers: the background (0) and two added ones (1 below 2).
"$CLI" run "$WORK/pic.bmp" "$WORK/work.vor" 1552 1552 >/dev/null || fail "cli could not build the layered document"
[ "$(stack "$WORK/work.vor")" = "0 1 2 " ] || fail "unexpected starting stack: $(stack "$WORK/work.vor")"

start "$WORK/work.vor"
wait_title "Pimlora - work.vor 100 % " || fail "the VOR did not open: '$(title)'"
where_named "혼합 방식" "combo box" >/dev/null 2>&1 && fail "the layers panel is shown at start"
menu_item "보기" "레이어.작업내역" || fail "no menu entry 레이어.작업내역"
locate_panel && pass "레이어.작업내역 shows the layers panel, docked at the right" || fail "no layers panel"
[ "$PX" -gt 900 ] || fail "the panel is not at the right edge (x $PX)"
shot start

# --- the "추가" button adds a layer on top of the current one ---------------------------------
at 23 57
save "$WORK/work.vor" || fail "save after adding"
[ "$(stack "$WORK/work.vor" | wc -w)" -eq 4 ] && pass "the add button adds a fourth layer" \
    || fail "stack after add: $(stack "$WORK/work.vor")"
# The new layer is the one in a fourth slot; rows show the stack top first.
top=$(stack "$WORK/work.vor" | tr ' ' '\n' | grep -vx -e 0 -e 1 -e 2 -e '' | head -1)
row2=$(stack "$WORK/work.vor" | awk '{print $(NF - 2)}')

# --- the eye of row 2 hides that layer ---------------------------------------------------
at 97 "$(row_y 2 25)"
save "$WORK/work.vor" || fail "save after hiding"
[ "$(field "$WORK/work.vor" "$row2" visible)" = "0" ] && pass "the eye button hides its layer" \
    || fail "slot $row2 visible=$(field "$WORK/work.vor" "$row2" visible)"
[ "$("$CLI" layers "$WORK/work.vor" | grep -c ' visible=0 ')" -eq 1 ] || fail "the eye hid more than its layer"

# --- blend combo and fade of the current layer (the new top one) ------------------------------
press "혼합 방식" "combo box" && press "곱셈혼합" "menu item" || fail "choosing 곱셈혼합"
press "투명 값" text && xdotool key ctrl+a && xdotool type --delay 40 "100" && xdotool key Return
sleep 0.6
save "$WORK/work.vor" || fail "save after blend and fade"
[ "$(field "$WORK/work.vor" "$top" blend)" = "2" ] && pass "곱셈혼합 stores blend mode 2" \
    || fail "blend=$(field "$WORK/work.vor" "$top" blend)"
[ "$(field "$WORK/work.vor" "$top" transparency)" = "100" ] && pass "the 투명 box sets the fade to 100" \
    || fail "transparency=$(field "$WORK/work.vor" "$top" transparency)"
shot edited

# --- dragging row 0 (the top layer) onto row 2 ---------------------------------------------------
before=$(stack "$WORK/work.vor")
xdotool mousemove $((PX + 170)) $((PY + $(row_y 0))) mousedown 1
sleep 0.3
for dy in 20 50 80 110 130; do xdotool mousemove $((PX + 170)) $((PY + $(row_y 0) + dy)); sleep 0.1; done
xdotool mouseup 1
sleep 0.6
save "$WORK/work.vor" || fail "save after the drag"
after=$(stack "$WORK/work.vor")
# The layer of the top row takes row 2's place: top first the rows were
# b3 b2 b1 b0 (b bottom first) and become b2 b1 b3 b0.
read -r -a b <<<"$before"
expected="${b[0]} ${b[3]} ${b[1]} ${b[2]} "
[ "$after" = "$expected" ] && pass "dragging a row onto another moves its layer there" \
    || fail "stack after drag: '$after', wanted '$expected'"

# --- the history page: its undo takes the move back ----------------------------------------------
at 142 13
shot history
where_named "작업내역" >/dev/null && pass "the history page shows its list" || fail "no history list"
read -r hx hy hw hh <<<"$(where_named "작업내역")"
# The undo button lies under the list at the left.
xdotool mousemove $((hx + hw / 4)) $((hy + hh + 14)) click 1
sleep 0.8
save "$WORK/work.vor" || fail "save after the history undo"
[ "$(stack "$WORK/work.vor")" = "$before" ] && pass "the history page's undo puts the layer back" \
    || fail "stack after undo: $(stack "$WORK/work.vor")"

# --- a menu command is followed by the panel: Ctrl+Y redoes the move -----------------------------
at 64 13
key ctrl+y
save "$WORK/work.vor" || fail "save after redo"
[ "$(stack "$WORK/work.vor")" = "$expected" ] && pass "redo from the keyboard moves it again" \
    || fail "stack after redo: $(stack "$WORK/work.vor")"
shot end

# --- dragging a row out of the panel into the picture window ------------------------------------
# Top first the rows are now b2 b1 b3 b0: row 3 is the background picture.
# It goes to the clipboard, and the window the mouse enters takes it as a
# new layer that follows the mouse until the next click.
xdotool mousemove $((PX + 170)) $((PY + $(row_y 3))) mousedown 1
sleep 0.3
for dx in 20 60 120 200 300 400; do xdotool mousemove $((PX + 170 - dx)) $((PY + $(row_y 3))); sleep 0.1; done
xdotool mouseup 1
sleep 0.5
xclip -selection clipboard -t image/png -o >"$WORK/clip.png" 2>/dev/null
[ "$($IM "$WORK/clip.png" -format '%wx%h' info: 2>/dev/null)" = "160x120" ] \
    && pass "a row dragged out of the panel puts its layer on the clipboard" \
    || fail "clipboard after the drag out: $($IM "$WORK/clip.png" info: 2>&1 | head -1)"
for dx in 420 440 460; do xdotool mousemove $((PX + 170 - dx)) $((PY + 200)); sleep 0.2; done
xdotool click 1
sleep 0.6
save "$WORK/work.vor" || fail "save after the drag out"
new=$(stack "$WORK/work.vor" | tr ' ' '\n' | grep -vx -e '' $(printf -- '-e %s ' $expected) | head -1)
[ "$(stack "$WORK/work.vor" | wc -w)" -eq 5 ] && [ "$(field "$WORK/work.vor" "$new" width)" = "160" ] \
    && pass "the picture window takes the dragged layer as a new layer" \
    || fail "stack after the drag out: $(stack "$WORK/work.vor")"
shot dragout

key ctrl+q
wait_exit || kill "$APP_PID" 2>/dev/null
finish
