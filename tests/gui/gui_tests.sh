#!/usr/bin/env bash
# Tests of the editor window under a real X server (run by ctest inside
# xvfb-run): real key input through xdotool, outcomes read from window titles
# and from the files the editor writes.
# usage: gui_tests.sh PIMLORA PIMLORA_CLI
set -uo pipefail
APP=$1
CLI=$2
IM=/usr/bin/convert-im6.q16
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
export PIMLORA_HOME="$WORK/home"
mkdir -p "$PIMLORA_HOME"
failures=0
# GTK takes keyboard focus from a window manager and a click.
if command -v matchbox-window-manager >/dev/null; then
    matchbox-window-manager -use_titlebar no >/dev/null 2>&1 &
    sleep 0.5
fi
pass() { echo "ok   - $1"; }
fail() { echo "FAIL - $1"; failures=$((failures + 1)); }

# Main window id of the running editor (waits up to 10 s for it).
main_window() {
    local id
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name '^Pimlora' 2>/dev/null | head -1)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}
title() { xdotool getwindowname "$(main_window)"; }
# Waits until the main window title equals $1.
wait_title() {
    for _ in $(seq 50); do
        [ "$(title)" = "$1" ] && return 0
        sleep 0.1
    done
    return 1
}
focus() {
    local w
    w=$(main_window) || return 1
    xdotool mousemove --window "$w" 600 500 click 1 2>/dev/null
    sleep 0.3
}
key() { focus; xdotool key --delay 80 "$@"; sleep 0.4; }
# Keys for the modal dialog that has just opened (it holds the focus).
dialog_key() {
    sleep 1
    shift
    xdotool key --delay 120 "$@"
    sleep 0.6
}
start() { "$APP" "$@" >"$WORK/app.log" 2>&1 & APP_PID=$!; main_window >/dev/null; sleep 0.8; }
wait_exit() {
    for _ in $(seq 50); do
        kill -0 "$APP_PID" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
# Quits through the file menu's entry "종료" (the sixth enabled entry with a
# document open, the fourth without).
menu_quit() {
    if [ "${1:-doc}" = doc ]; then key F10 Down Down Down Down Down Down Return
    else key F10 Down Down Down Down Return; fi
}
same_pixels() { [ "$($IM "$1" -depth 8 rgb:- | md5sum)" = "$($IM "$2" -depth 8 rgb:- | md5sum)" ]; }

$IM -size 400x300 gradient:red-blue -type TrueColor "BMP3:$WORK/pic.bmp"
$IM -size 320x200 plasma:fractal -type TrueColor "BMP3:$WORK/second.bmp"

# --- start with a file, zoom keys and the title -------------------------------------
start "$WORK/pic.bmp"
[ -f "$PIMLORA_HOME/RoviCon_380.ini" ] && pass "first start installs the default settings" || fail "defaults installed"
wait_title "Pimlora - pic.bmp 100 % " && pass "file from the command line, title at 100 %" || fail "title: '$(title)'"
key ctrl+equal
wait_title "Pimlora - pic.bmp 125 % " && pass "Ctrl+= zooms to 125 %" || fail "after Ctrl+=: '$(title)'"
key ctrl+equal ctrl+1
wait_title "Pimlora - pic.bmp 100 % " && pass "Ctrl+1 back to 100 %" || fail "after Ctrl+1: '$(title)'"
key ctrl+minus
wait_title "Pimlora - pic.bmp 80 % " && pass "Ctrl+- zooms to 80 %" || fail "after Ctrl+-: '$(title)'"

# --- a menu command by keyboard, save with Ctrl+S, reopen --------------------------------
cp "$WORK/pic.bmp" "$WORK/orig.bmp"
before=$(stat -c %Y.%s "$WORK/pic.bmp")
sleep 1.1
# Image menu (fourth): the enabled entries begin "픽셀분포조정" (2533, the
# levels dialog), "자동색상조정" (2076), "반전변환" (negative).
key F10 Right Right Right Down Down Down Return
key ctrl+s
after=$(stat -c %Y.%s "$WORK/pic.bmp")
[ "$before" != "$after" ] && pass "menu command marks the document, Ctrl+S writes it" || fail "Ctrl+S did not write"
$IM "$WORK/orig.bmp" -negate "BMP3:$WORK/negated.bmp"
same_pixels "$WORK/pic.bmp" "$WORK/negated.bmp" && pass "saved pixels are the negative of the opened picture" || fail "saved pixels differ"

# --- the close sequence with a modified document ---------------------------------------------
key F10 Right Right Right Down Down Down Return    # modified again
menu_quit
dialog_key "Pimlora" Escape                # Cancel: stays open
kill -0 $APP_PID 2>/dev/null && pass "Cancel in the save prompt keeps the program running" || fail "program ended on Cancel"
grep -q "저장하시겠습니까" "$WORK/app.log" && fail "prompt text went to the log" || true
before=$(stat -c %Y.%s "$WORK/pic.bmp")
sleep 1.1
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return   # No: closes without saving
wait_exit && pass "No in the save prompt ends the program" || fail "program still running after No"
[ "$before" = "$(stat -c %Y.%s "$WORK/pic.bmp")" ] && pass "No leaves the file unchanged" || fail "file changed after No"
kill $APP_PID 2>/dev/null

# --- two documents from the command line, Yes in the prompt saves the modified one ---------------
start "$WORK/pic.bmp" "$WORK/second.bmp"
key ctrl+equal
wait_title "Pimlora - second.bmp 125 % " && pass "second document active and zoomed" || fail "two documents: '$(title)'"
key F10 Right Right Right Down Down Down Return     # second.bmp modified
before=$(stat -c %Y.%s "$WORK/second.bmp")
pic_before=$(stat -c %Y.%s "$WORK/pic.bmp")
sleep 1.1
menu_quit
dialog_key "Pimlora" Return                       # Yes (the default)
wait_exit && pass "Yes in the save prompt saves and ends" || fail "program still running after Yes"
[ "$before" != "$(stat -c %Y.%s "$WORK/second.bmp")" ] && pass "Yes writes the modified document" || fail "file not written after Yes"
[ "$pic_before" = "$(stat -c %Y.%s "$WORK/pic.bmp")" ] && pass "the unmodified document is closed without asking" || fail "unmodified document written"

# --- options dialog values survive a restart ---------------------------------------------------------
start
key F10 Down Down Down Return              # "환경설정"
dialog_key "환경설정" ctrl+a 2 Return        # a grid gap of 2 is stored as 4
menu_quit nodoc
wait_exit || fail "program did not end"
grep -a -q "GGap4 " "$PIMLORA_HOME/RoviCon_380.ini" && pass "options dialog: gap 2 stored as 4" || fail "GGap not 4: $(grep -a GGap "$PIMLORA_HOME/RoviCon_380.ini")"
start
menu_quit nodoc
wait_exit
grep -a -q "GGap4 " "$PIMLORA_HOME/RoviCon_380.ini" && pass "options survive a restart" || fail "GGap lost after restart"

# --- resource pictures share one counter (tool bar button "BMP", by mouse) ----------------------------
start
w=$(main_window)
xdotool mousemove --window "$w" 919 46 click 1; sleep 1
wait_title "Pimlora - Pimlora1 100 %  BITMAP Resource Image 1" && pass "first resource picture numbered 1" || fail "resource title: '$(title)'"
xdotool mousemove --window "$w" 919 46 click 1; sleep 1
wait_title "Pimlora - Pimlora2 100 %  BITMAP Resource Image 2" && pass "second resource picture numbered 2" || fail "resource title: '$(title)'"
menu_quit
wait_exit || fail "program did not end after resource pictures"

# --- a missing configuration file ends the first start, the next one runs ----------------------------------
rm "$PIMLORA_HOME/RoviCon_380.ini"
"$APP" >"$WORK/app.log" 2>&1 &
APP_PID=$!
dialog_key "Pimlora" Return
wait_exit && pass "missing configuration: message and end" || fail "program kept running without configuration"
[ -f "$PIMLORA_HOME/RoviCon_380.ini" ] && pass "the end wrote a configuration" || fail "no configuration written"
start
kill -0 $APP_PID 2>/dev/null && pass "next start runs" || fail "next start failed"
menu_quit nodoc
wait_exit

echo "$failures failure(s)"
[ $failures -eq 0 ]
