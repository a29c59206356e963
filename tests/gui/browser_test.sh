#!/usr/bin/env bash
# The image browser as the open dialog (third WS value 1): the listing of a
# folder under each filter, an empty folder, another folder chosen while
# thumbnails are still being made, the preview, and opening three selected
# pictures. Thumbnails are told apart on the screen by their colours.
# usage: browser_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

export HOME=$WORK   # the tree's home folder
cfg() {
    cp "$GUI_DIR/../../resources/RoviCon_380.ini" "$PIMLORA_HOME/"
    sed -i "s/^WS 0 0 0 0/WS $1/" "$PIMLORA_HOME/RoviCon_380.ini"
    touch "$PIMLORA_HOME/.installed"
    # FirstShow.ini: the remembered browser folder (UTF-16).
    /usr/bin/python3 -c "
import sys; f = sys.argv[1]
open(sys.argv[2], 'wb').write(b'0 update 0\n%d\n' % len(f) + f.encode('utf-16-le'))" "$2" "$PIMLORA_HOME/FirstShow.ini"
}
mkdir -p "$WORK"/{pics,red,blue,three,empty}
$IM -size 400x300 xc:red "$WORK/pics/a.JPG"
$IM -size 300x300 xc:yellow "$WORK/pics/b.png"
$IM -size 200x400 xc:lime "$WORK/pics/x.jpeg"
$IM -size 300x200 xc:magenta "$WORK/pics/d.tiff"
$IM -size 300x200 xc:blue -type TrueColor "BMP3:$WORK/blue.bmp"
"$CLI" doc "$WORK/blue.bmp" "$WORK/pics/c.vor" >/dev/null
# 300 pictures that take a while each (12 megapixels, decoded whole), and a
# few others.
$IM -size 4000x3000 xc:red -compress LZW "$WORK/red/r000.tif"
for i in $(seq -w 1 299); do cp "$WORK/red/r000.tif" "$WORK/red/r$i.tif"; done
for i in 1 2 3 4; do $IM -size 320x240 xc:blue "$WORK/blue/b$i.jpg"; done
for n in a b c; do $IM -size 200x150 xc:lime -type TrueColor "BMP3:$WORK/three/$n.bmp"; done
cfg "0 0 1 0" "$WORK/pics"

# Pixels of each colour in the thumbnail list (left of the folder window,
# above the folder label).
colours() {
    import -window root "$WORK/shot.png"
    local cx cy cw ch fx fy fw fh
    read -r cx cy cw ch < <(where_named "미리 보기 창" "check box")
    read -r fx fy fw fh < <(where_named "폴더선택" "label")
    $IM "$WORK/shot.png" -crop "$((fx - 20))x300+0+$((cy - 345))" -depth 8 rgb:- | /usr/bin/python3 -c '
import sys
d = sys.stdin.buffer.read()
names = {"red": (255, 0, 0), "lime": (0, 255, 0), "blue": (0, 0, 255), "magenta": (255, 0, 255), "yellow": (255, 255, 0)}
count = dict.fromkeys(names, 0)
for i in range(0, len(d) - 2, 3):
    p = d[i], d[i + 1], d[i + 2]
    for n, c in names.items():
        if abs(p[0] - c[0]) < 40 and abs(p[1] - c[1]) < 40 and abs(p[2] - c[2]) < 40:
            count[n] += 1
print(" ".join("%s=%d" % (n, v) for n, v in count.items()))'
}
has() { [[ " $1 " =~ " $2=0 " ]] && return 1 || return 0; }
# The busy picture is up (GTK's spinner; "스피너" in the Korean locale).
busy() { $ATSPI names animation 2>/dev/null | grep -E "Spinner|스피너" >/dev/null; }
# Waits until the listing is over (the busy picture gone).
settled() {
    for _ in $(seq 300); do
        busy || return 0
        sleep 0.1
    done
    return 1
}
# Opens the filter box that shows $1 and moves to the entry $2 places
# further down (up when negative).
filter() {
    click_named "$1" "combo box" || return 1
    sleep 0.5
    local k=Down n=$2
    [ "$n" -lt 0 ] && { k=Up; n=$((-n)); }
    for _ in $(seq "$n"); do xdotool key $k; sleep 0.1; done
    xdotool key Return
    sleep 0.5
    settled
}
# Keys in the folder tree (a click on its empty part gives it the focus).
tree_keys() {
    local fx fy fw fh
    read -r fx fy fw fh < <(where_named "폴더선택" "label")
    xdotool mousemove $((fx + 90)) $((fy + 320)) click 1
    sleep 0.3
    xdotool key --delay 150 "$@"
}

# --- the open command shows the browser with the remembered folder -------------------
start
key ctrl+o
settled
c=$(colours)
if has "$c" red && has "$c" lime && has "$c" blue && has "$c" magenta && ! has "$c" yellow; then
    pass "all formats: a.JPG, x.jpeg, d.tiff and c.vor listed, b.png not"
else
    fail "all formats: $c"
fi
filter "모든이미지형식" 1
c=$(colours)
has "$c" red && has "$c" lime && ! has "$c" blue && ! has "$c" magenta && pass "jpg: a.JPG and x.jpeg only" || fail "jpg: $c"
filter "jpg" 2
c=$(colours)
has "$c" blue && ! has "$c" red && ! has "$c" lime && pass "vor: c.vor only" || fail "vor: $c"
filter "vor" 2
c=$(colours)
has "$c" magenta && ! has "$c" red && ! has "$c" blue && pass "tif: d.tiff only" || fail "tif: $c"
filter "tif" -5

# --- an empty folder -------------------------------------------------------------------------
# The tree: 홈 폴더 ($HOME) with blue, empty, home, pics, red, three.
tree_keys Home Down Down
settled
$ATSPI names label | grep "폴더 내 이미지 없음" >/dev/null && pass "an empty folder says so" || fail "no empty-folder status"
c=$(colours)
! has "$c" red && ! has "$c" blue && pass "an empty folder shows no thumbnails" || fail "empty folder: $c"

# --- another folder while thumbnails are being made --------------------------------------
tree_keys Down Down Down   # home, pics, red
for _ in $(seq 100); do has "$(colours)" red && break; sleep 0.1; done
has "$(colours)" red && pass "the red folder's thumbnails come one by one" || fail "no red thumbnail"
busy && pass "still busy with the red folder" || fail "red folder already done"
tree_keys Up Up Up Up      # pics, home, empty, blue
settled
sleep 1
c=$(colours)
has "$c" blue && ! has "$c" red && ! has "$c" lime && pass "after switching only the new folder's thumbnails" || fail "after switching: $c"

# --- the preview, and opening three selected pictures ---------------------------------
tree_keys Down Down Down Down Down   # empty, home, pics, red, three
settled
click_named "미리 보기 창" "check box"
read -r cx cy cw ch < <(where_named "미리 보기 창" "check box")
xdotool mousemove $((cx + 300)) $((cy - 80)) click 1   # the list's empty part
sleep 0.3
xdotool key Home
sleep 0.5
$ATSPI names label | grep "200 ×150  a.bmp" >/dev/null && pass "the preview names the picture and its size" || fail "preview label: $($ATSPI names label | tr '\n' '|')"
xdotool key shift+End
sleep 0.3
click_named "확인" "push button"
wait_title "Pimlora - c.bmp 100 % " && pass "three selected pictures open, the last one active" || fail "after OK: '$(title)'"
$ATSPI names "check box" | grep "미리 보기 창" >/dev/null && fail "the browser stays shown after OK" || pass "OK hides the browser"
menu_item "창" "닫기"
wait_title "Pimlora - b.bmp 100 % " && pass "the second picture is open" || fail "after closing one: '$(title)'"
menu_item "창" "닫기"
wait_title "Pimlora - a.bmp 100 % " && pass "and the first" || fail "after closing two: '$(title)'"
menu_quit
wait_exit || kill $APP_PID
# The folder pictures were opened from is remembered.
/usr/bin/python3 -c "
import sys; b = open(sys.argv[1], 'rb').read(); sys.exit(0 if sys.argv[2].encode('utf-16-le') in b else 1)" \
    "$PIMLORA_HOME/FirstShow.ini" "$WORK/three" && pass "the folder is remembered" || fail "folder not remembered"

# --- shown at start when the configuration asks for it ---------------------------------
cfg "0 1 1 0" "$WORK/blue"
start
settled
has "$(colours)" blue && pass "the browser shows at start with the remembered folder" || fail "not shown at start"
key ctrl+o
$ATSPI names "check box" | grep "미리 보기 창" >/dev/null && fail "the open command did not hide it" || pass "the open command hides it again"
menu_quit
wait_exit || kill $APP_PID
finish
