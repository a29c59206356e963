# Helpers shared by the GUI test scripts (sourced). Each script is run by
# ctest inside xvfb-run as:  SCRIPT PIMLORA PIMLORA_CLI BUILD_DIR
# Real X input through xdotool; outcomes read from window titles, from the
# screen and from the files the editor writes.

# Widgets are found by their accessible names (tests/gui/atspi.py), which
# needs a session bus with the accessibility bus on it: the script runs
# again inside one.
if [ -z "${PIMLORA_GUI_BUS:-}" ] && command -v dbus-run-session >/dev/null; then
    export PIMLORA_GUI_BUS=1
    exec dbus-run-session -- "$0" "$@" 2> >(grep -v -e 'Failed to set fd limit' -e 'Activating service' \
        -e 'Successfully activated' -e 'SpiRegistry daemon' -e 'Reloaded configuration' >&2)
fi
unset NO_AT_BRIDGE
GUI_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ATSPI="/usr/bin/python3 $GUI_DIR/atspi.py"
APP=$(readlink -f "$1")
CLI=$(readlink -f "$2")
BUILD=${3:-}
IM=/usr/bin/convert-im6.q16
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
export PIMLORA_HOME="$WORK/home"
# The start-up update check asks a closed local port unless a test sets a server.
export PIMLORA_UPDATE_HOST=127.0.0.1:1
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
# Quits through the file menu's entry "종료".
menu_quit() { menu_item "파일" "종료"; }
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
# --- the picture on the screen and the mouse over it ---------------------------------------
# Screen position (OX, OY) of the top-left corner of the area of colour $1
# on the screen; true when that area is $2 (default 300x200) in size.
find_colour() {
    import -window root "$WORK/shot.png"
    local geo
    geo=$($IM "$WORK/shot.png" -fill black +opaque "$1" -format '%@' info:)
    OX=$(echo "$geo" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\1/')
    OY=$(echo "$geo" | sed 's/.*+\([0-9]*\)+\([0-9]*\)$/\2/')
    [ "${geo%%+*}" = "${2:-300x200}" ]
}
# The tests' pictures are magenta where nothing else is drawn.
find_picture() { find_colour '#FF00FF'; }
# Picture pixel to the screen.
at() { echo $((OX + $1)) $((OY + $2)); }
# A drag with the left button from picture pixel ($1,$2) to ($3,$4).
drag() {
    xdotool mousemove $(at "$1" "$2"); sleep 0.2
    xdotool mousedown 1; sleep 0.2
    xdotool mousemove $(at "$3" "$4"); sleep 0.3
    xdotool mouseup 1; sleep 0.4
}
click() { xdotool mousemove $(at "$1" "$2"); sleep 0.2; xdotool click 1; sleep 0.4; }
# The window whose (UTF-8) title is exactly $1.
window_titled() {
    local w
    for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
        xprop -id "$w" _NET_WM_NAME 2>/dev/null | grep -qF "= \"$1\"" && { echo "$w"; return 0; }
    done
    return 1
}

finish() {
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}

# Clicks the entry ITEM of the menu-bar menu MENU (found by their labels).
# Fails when the entry is missing (status 4) or greyed (status 3).
menu_item() { $ATSPI menu "$1" "$2"; }
# Clicks the showing widget whose accessible name is $1 (role $2, optional).
click_named() { $ATSPI click "$@"; }
# "X Y W H" of the showing widget named $1 (role $2, optional), on screen.
where_named() { $ATSPI where "$@"; }
