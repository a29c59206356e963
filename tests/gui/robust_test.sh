#!/usr/bin/env bash
# The editor against hostile use: a FIFO named on the command line, saving
# over a write-protected file, and the memory budget of the options dialog
# refusing a picture too large for it.
# usage: robust_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

# True while a showing widget's name contains $1 (a message box's text).
# (grep reads the whole list: with pipefail, an early exit would fail the lister.)
message_shown() { $ATSPI names 2>/dev/null | grep -F -- "$1" >/dev/null; }
wait_message() {
    local end=$((SECONDS + 30))
    while [ $SECONDS -lt $end ]; do message_shown "$1" && return 0; sleep 0.2; done
    return 1
}
shot() { [ -n "${PIMLORA_GUI_SHOTS:-}" ] && import -window root "$PIMLORA_GUI_SHOTS/$1.png" 2>/dev/null; true; }

$IM -size 300x200 gradient:red-blue -type TrueColor "BMP3:$WORK/pic.bmp"
mkfifo "$WORK/pipe.bmp"

# --- a FIFO on the command line: a message at once, no document -------------------------
start "$WORK/pipe.bmp"
wait_message "일반 파일이 아니어서 열 수 없습니다." && pass "a FIFO is refused with a message" || fail "no message for the FIFO"
shot fifo
xdotool key Return
sleep 0.5
kill -0 $APP_PID 2>/dev/null && pass "the editor runs on after the FIFO" || fail "the editor ended"
wait_title "Pimlora" && pass "no document was opened from the FIFO" || fail "title after the FIFO: '$(title)'"
menu_quit
wait_exit || fail "program did not end after the FIFO"
kill $APP_PID 2>/dev/null

# --- saving over a write-protected file: the message, the file as it was ------------------
cp "$WORK/pic.bmp" "$WORK/ro.bmp"
chmod 444 "$WORK/ro.bmp"
sum=$(md5sum <"$WORK/ro.bmp")
start "$WORK/ro.bmp"
wait_title "Pimlora - ro.bmp 100 % " || fail "read-only picture not opened: '$(title)'"
menu_item "이미지" "반전변환"
key ctrl+s
wait_message "파일을 저장하지 못했습니다: 쓰기 금지된 파일입니다" && pass "saving over a write-protected file says so" \
    || fail "no message for the write-protected file"
shot readonly
xdotool key Return
sleep 0.5
[ "$sum" = "$(md5sum <"$WORK/ro.bmp")" ] && pass "the write-protected file is unchanged" || fail "the write-protected file changed"
ls -a "$WORK" | grep -q pimlora-tmp && fail "a temporary file was left" || pass "no temporary file left"
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return   # No: close without saving
wait_exit || fail "program did not end after the refused save"
kill $APP_PID 2>/dev/null

# --- the memory budget of the options dialog --------------------------------------------------
start
menu_item "파일" "환경설정"
for _ in $(seq 50); do dialog_shown "환경설정" && break; sleep 0.1; done
click_named "시작/표시" "push button"
sleep 0.3
read -r x y w h <<<"$(where_named "문서 메모리 한도(MB, 0 = 자동)" label)"
if [ -n "${x:-}" ]; then
    # The number field follows its label.
    xdotool mousemove $((x + w + 30)) $((y + h / 2)) click --repeat 3 1
    xdotool key ctrl+a
    xdotool type --delay 80 64
    shot options
    xdotool key Return   # OK, the default button
else
    fail "the memory field's label is not shown"
fi
for _ in $(seq 50); do dialog_shown "환경설정" || break; sleep 0.1; done
menu_quit
wait_exit || fail "program did not end after the options"
grep -a -q "MemoryBudgetMB 64" "$PIMLORA_HOME/RoviCon_380.ini" && pass "the budget is kept in the configuration" \
    || fail "no MemoryBudgetMB 64 in the configuration"
kill $APP_PID 2>/dev/null

# A picture whose document needs about 160 MB is refused under 64 MB.
$IM -size 3000x2000 plasma:fractal -type TrueColor "BMP3:$WORK/big.bmp"
start "$WORK/big.bmp"
wait_message "메모리가 부족하여 그림을 열 수 없습니다" && pass "a picture over the budget is refused with a message" \
    || fail "no message for the picture over the budget"
shot budget
xdotool key Return
sleep 0.5
wait_title "Pimlora" && pass "the picture over the budget was not opened" || fail "title: '$(title)'"
# The small picture still opens.
menu_quit
wait_exit || fail "program did not end after the refusal"
kill $APP_PID 2>/dev/null
start "$WORK/pic.bmp"
wait_title "Pimlora - pic.bmp 100 % " && pass "a picture within the budget opens" || fail "title: '$(title)'"
menu_quit
wait_exit

finish
