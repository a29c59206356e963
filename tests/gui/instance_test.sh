#!/usr/bin/env bash
# One editor per user and display: a second start hands its files to the
# running editor, which opens them as new document windows, and ends.
# usage: instance_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

$IM -size 200x150 gradient:red-blue -type TrueColor "BMP3:$WORK/first.bmp"
$IM -size 160x120 plasma:fractal -type TrueColor "BMP3:$WORK/second.bmp"
$IM -size 120x90 gradient:green-yellow -type TrueColor "BMP3:$WORK/third.bmp"
$IM -size 100x80 gradient:white-black -type TrueColor "BMP3:$WORK/fourth.bmp"

start "$WORK/first.bmp"
wait_title "Pimlora - first.bmp 100 % " && pass "first editor shows its file" || fail "first editor: '$(title)'"
first=$APP_PID

# A second start with a file (relative to its own folder) ends at once...
(cd "$WORK" && timeout 20 "$APP" second.bmp >"$WORK/second.log" 2>&1)
status=$?
[ $status -eq 0 ] && pass "the second start ends with status 0" || fail "second start: status $status"
# ...and the first editor shows the file as a new document.
wait_title "Pimlora - second.bmp 100 % " && pass "the running editor opens the handed-over file" \
    || fail "after the hand-over: '$(title)'"
[ "$(xdotool search --onlyvisible --name '^Pimlora' | wc -l)" -eq 1 ] && pass "still one main window" \
    || fail "more than one main window"

# Several files at once, as a file manager hands them over (%F).
timeout 20 "$APP" "$WORK/third.bmp" "$WORK/fourth.bmp" >/dev/null 2>&1
wait_title "Pimlora - fourth.bmp 100 % " || fail "after two files: '$(title)'"
menu_item "창" "이전 창"
wait_title "Pimlora - third.bmp 100 % " && pass "several files handed over at once open in order" \
    || fail "the window before the last: '$(title)'"

kill -0 $first 2>/dev/null && pass "the first editor keeps running" || fail "the first editor ended"
menu_quit
wait_exit || fail "the editor did not end"
kill $first 2>/dev/null

# With the first editor gone, a new start is an editor of its own again.
start "$WORK/second.bmp"
wait_title "Pimlora - second.bmp 100 % " && pass "a start after the end runs its own editor" \
    || fail "restart: '$(title)'"
menu_quit
wait_exit

finish
