# Helpers shared by the GUI test scripts (sourced). Each script is run by
# ctest inside xvfb-run as:  SCRIPT PIMLORA PIMLORA_CLI BUILD_DIR
# Real X input through xdotool; outcomes read from window titles, from the
# screen and from the files the editor writes.
APP=$1
CLI=$2
BUILD=${3:-}
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
# Keys for the modal dialog titled $1 once it is shown (it holds the focus);
# returns when it has closed (up to 5 s each way).
dialog_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
dialog_key() {
    local name=$1
    shift
    for _ in $(seq 50); do dialog_shown "$name" && break; sleep 0.1; done
    sleep 0.3
    xdotool key --delay 120 "$@"
    for _ in $(seq 50); do dialog_shown "$name" || break; sleep 0.1; done
}
start() { "$APP" "$@" >"$WORK/app.log" 2>&1 & APP_PID=$!; main_window >/dev/null; sleep 0.8; }
wait_exit() {
    for _ in $(seq 50); do
        kill -0 "$APP_PID" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}
# Quits through the file menu's entry "종료" (the tenth enabled entry with a
# document open, the eighth without).
menu_quit() {
    if [ "${1:-doc}" = doc ]; then key F10 Down Down Down Down Down Down Down Down Down Down Return
    else key F10 Down Down Down Down Down Down Down Down Return; fi
}
# Waits until file $1 no longer has the time stamp and size $2 (up to 5 s).
wait_changed() {
    for _ in $(seq 50); do
        [ "$2" != "$(stat -c %.9Y.%s "$1")" ] && return 0
        sleep 0.1
    done
    return 1
}
same_pixels() { [ "$($IM "$1" -depth 8 rgb:- | md5sum)" = "$($IM "$2" -depth 8 rgb:- | md5sum)" ]; }


# The end of every script: the count of failures and the exit status.
finish() {
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}
