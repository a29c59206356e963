#!/usr/bin/env bash
# The move, path and text tools in the editor, with real X input: a move-tool
# drag, a path of five clicks closed on its first anchor then made into a
# selection from the path panel and filled, a text layer placed with the
# text tool, and a layer dragged from one document window into another
# shown beside it. Each result is read from the files the editor saves.
# usage: tools2_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
SRC=$(cd "$(dirname "$0")/../.." && pwd)
SHOTS=${PIMLORA_SHOTS:-}   # a folder: the screenshots of docs/ are written there

# A magenta picture (found on the screen by its colour) with a cyan square.
$IM -size 300x200 xc:'#FF00FF' -fill '#00FFFF' -draw 'rectangle 200,60 259,119' -type TrueColor "BMP3:$WORK/orig.bmp"
# Settings: drawing colour red (red in the low byte).
sed -e 's/^FG0 /FG255 /' "$SRC/resources/RoviCon_380.ini" >"$PIMLORA_HOME/RoviCon_380.ini"
cp "$SRC/resources/FirstShow.ini" "$PIMLORA_HOME/"
echo 1 >"$PIMLORA_HOME/.installed"

open_copy() {
    cp "$WORK/orig.bmp" "$WORK/$1"
    start "$WORK/$1"
    wait_title "Pimlora - $1 100 % " || fail "title of $1: '$(title)'"
    find_picture || fail "picture not found on the screen"
    xdotool mousemove $((OX - 20)) $((OY - 20)) click 1; sleep 0.3
}
quit() {
    xdotool key ctrl+d; sleep 0.3
    menu_quit
    wait_exit || { fail "editor did not end"; kill "$APP_PID" 2>/dev/null; }
}
save() {   # $1 file, $2 what; a document of several layers is flattened (Yes)
    local before
    before=$(stat -c %.9Y.%s "$WORK/$1")
    xdotool key ctrl+s; sleep 0.5
    if [ "${3:-}" = flatten ]; then
        for _ in $(seq 30); do dialog_shown "Pimlora" && break; sleep 0.1; done
        xdotool key Return; sleep 0.5
    fi
    wait_changed "$WORK/$1" "$before" || fail "$2: Ctrl+S did not write"
}
# Whether file $1 within WxH+X+Y ($2) holds any pixel other than colour $3.
other_than() {
    $IM "$1" -crop "$2" +repage -fill white +opaque "$3" -fill black -opaque "$3" -format '%[fx:maxima>0?1:0]' info: | grep -q 1
}
save_and_compare() {   # $1 file, $2 what, then the pimlora-cli steps
    local file=$1 what=$2
    shift 2
    save "$file" "$what"
    "$CLI" run "$WORK/orig.bmp" "$WORK/want_$file" "$@" 2>"$WORK/cli.log" || fail "$what: pimlora-cli failed: $(cat "$WORK/cli.log")"
    if same_pixels "$WORK/$file" "$WORK/want_$file"; then pass "$what"
    else fail "$what: saved pixels differ from pimlora-cli's"; fi
    same_pixels "$WORK/$file" "$WORK/orig.bmp" && fail "$what: the picture did not change"
}
# The colour of picture pixel ($2,$3) of file $1 as RRGGBB.
pixel() { $IM "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6; }

# --- a move-tool drag ------------------------------------------------------------------------
open_copy move.bmp
xdotool key v; sleep 0.3
drag 220 80 260 100
save_and_compare move.bmp "a move-tool drag moves the layer as pimlora-cli does" \
    tool:1570 press:220,80 drag:260,100 release:260,100
[ "$(pixel "$WORK/move.bmp" 280 130)" = "00FFFF" ] && pass "the cyan square moved by (40, 20)" \
    || fail "pixel (280,130) after the move: $(pixel "$WORK/move.bmp" 280 130)"
quit

# --- a path of five clicks, closed, made a selection and filled -----------------------------
open_copy path.bmp
menu_item "영역선택" "경로선택" || fail "경로선택 missing or greyed"
sleep 0.8
# The panel takes a strip at the top: the picture is found again.
find_picture || fail "picture not found after the path panel opened"
POINTS="40,40 140,30 170,110 100,160 30,120"
for p in $POINTS; do click "${p%,*}" "${p#*,}"; done
# While it is edited: the curve and anchors over the picture (the mouse
# off the picture, the repaints given their time).
xdotool mousemove $(at 150 190); sleep 0.8
import -window root "$WORK/path_shot.png"
[ -n "$SHOTS" ] && cp "$WORK/path_shot.png" "$SHOTS/path.png"
click 41 41   # on the first anchor: closes the path
click_named "영역으로" || fail "no button 영역으로 on the path panel"
sleep 0.5
click_named "채우기" || fail "no tool-bar button named 채우기"
sleep 0.3
click 100 90
CLI_PATH="tool:1509"
for p in $POINTS 41,41; do CLI_PATH="$CLI_PATH press:$p release:$p"; done
save_and_compare path.bmp "a closed path made a selection and filled, as pimlora-cli does" \
    colour:FF0000 $CLI_PATH tool:5622 tool:1352 press:100,90 release:100,90
[ "$(pixel "$WORK/path.bmp" 100 90)" = "FF0000" ] && [ "$(pixel "$WORK/path.bmp" 10 10)" = "FF00FF" ] \
    && pass "inside the path red, outside magenta" || fail "path fill: $(pixel "$WORK/path.bmp" 100 90) $(pixel "$WORK/path.bmp" 10 10)"
quit

# --- a text layer placed with the text tool -------------------------------------------------
open_copy text.bmp
xdotool key t; sleep 0.3
click 40 50
for _ in $(seq 50); do dialog_shown "글자 입력" && break; sleep 0.1; done
dialog_shown "글자 입력" && pass "the text tool opens 글자 입력" || fail "no text dialog"
read -r x y w h < <($ATSPI where "글자 입력" text 2>/dev/null) && xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
sleep 0.3
xdotool type --delay 40 "HHHH"; sleep 0.3
click_named "확인" || fail "no 확인 in the text dialog"
sleep 0.8
save text.bmp "text tool" flatten
# Something other than magenta was drawn right of and below the press, and
# the far corner stays as it was.
other_than "$WORK/text.bmp" 120x60+40+50 '#FF00FF' && pass "the text is on the picture at the press point" || fail "no text pixels after the text tool"
[ "$(pixel "$WORK/text.bmp" 5 195)" = "FF00FF" ] && pass "away from the text the picture is unchanged" \
    || fail "pixel (5,195) changed: $(pixel "$WORK/text.bmp" 5 195)"
quit

# --- a layer dragged from one window into another beside it ---------------------------------
$IM -size 300x200 xc:'#FFFF00' -type TrueColor "BMP3:$WORK/target.bmp"
cp "$WORK/orig.bmp" "$WORK/source.bmp"
start "$WORK/source.bmp"
wait_title "Pimlora - source.bmp 100 % " || fail "title of source.bmp: '$(title)'"
xdotool key ctrl+o; sleep 0.8
xdotool key ctrl+a; xdotool type --delay 20 "$WORK/target.bmp"; xdotool key Return; sleep 1.5
wait_title "Pimlora - target.bmp 100 % " || fail "target.bmp did not open: '$(title)'"
menu_item "보기" "타일배열" || fail "타일배열 missing"
sleep 1
# Each picture stands in the middle of its picture window, found by name.
picture_in() {   # $1 document title: prints the picture's screen corner
    local x y w h
    read -r x y w h < <($ATSPI where "그림: $1" 2>/dev/null) || return 1
    [ -n "${h:-}" ] && echo $((x + (w - 300) / 2)) $((y + (h - 200) / 2))
}
read -r SX SY < <(picture_in "source.bmp 100 %") || fail "no picture window of source.bmp"
read -r TX TY < <(picture_in "target.bmp 100 %") || fail "no picture window of target.bmp"
SX=${SX:-0} SY=${SY:-0} TX=${TX:-0} TY=${TY:-0}
[ "$SX,$SY" != "$TX,$TY" ] && pass "two picture windows side by side" || fail "the windows are not side by side"
# The move tool in the source window, a drag out of it into the target one,
# the release there, a hover, then a click puts the layer down.
xdotool mousemove $((SX + 50)) $((SY + 50)) click 1; sleep 0.3
xdotool key v; sleep 0.3
xdotool mousemove $((SX + 230)) $((SY + 90)); sleep 0.2
xdotool mousedown 1; sleep 0.2
xdotool mousemove $((SX + 235)) $((SY + 92)); sleep 0.3
xdotool mousemove $((TX + 40)) $((TY + 40)); sleep 0.3
xdotool mouseup 1; sleep 0.4
xdotool mousemove $((TX + 60)) $((TY + 60)); sleep 0.4
xdotool mousemove $((TX + 61)) $((TY + 61)); sleep 0.8
import -window root "$WORK/drag_shot.png"
[ -n "$SHOTS" ] && cp "$WORK/drag_shot.png" "$SHOTS/drag_between.png"
xdotool click 1; sleep 0.5
save target.bmp "drag between windows" flatten
# The cyan square came along: the point held (the middle of the square) is at (61, 61).
[ "$(pixel "$WORK/target.bmp" 61 61)" = "00FFFF" ] && pass "the layer dragged in shows its cyan square under the mouse" \
    || fail "target pixel (61,61): $(pixel "$WORK/target.bmp" 61 61)"
[ "$(pixel "$WORK/target.bmp" 290 195)" = "FFFF00" ] || [ "$(pixel "$WORK/target.bmp" 290 195)" = "FF00FF" ] \
    && pass "the target keeps its size" || fail "target corner: $(pixel "$WORK/target.bmp" 290 195)"
# The source too (a click of the move tool where it is moves nothing).
xdotool mousemove $((SX + 5)) $((SY + 5)) click 1; sleep 0.5
save source.bmp "the source window"
quit

finish
