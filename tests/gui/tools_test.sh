#!/usr/bin/env bash
# The mouse tools in the editor, with real X input: a brush drag, a
# rectangle selection cropped into a new document, a magic-wand click then a
# fill, and a straight line. Each result is saved by the editor and compared
# pixel for pixel with pimlora-cli driving the same tools with the same
# points.
# usage: tools_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
SRC=$(cd "$(dirname "$0")/../.." && pwd)

# A magenta picture (found on the screen by its colour) with a cyan square.
$IM -size 300x200 xc:'#FF00FF' -fill '#00FFFF' -draw 'rectangle 200,60 259,119' -type TrueColor "BMP3:$WORK/orig.bmp"
# Settings: drawing colour red (red in the low byte), soft brush of size 7.
sed -e 's/^FG0 /FG255 /' -e 's/^5 0$/7 1/' "$SRC/resources/RoviCon_380.ini" >"$PIMLORA_HOME/RoviCon_380.ini"
cp "$SRC/resources/FirstShow.ini" "$PIMLORA_HOME/"
echo 1 >"$PIMLORA_HOME/.installed"
SETTINGS="colour:FF0000 brush:7,1"

# Starts the editor on a copy of the picture, finds it on the screen and
# gives the picture window the keyboard (a click on the grey field with no
# tool does nothing).
open_copy() {
    cp "$WORK/orig.bmp" "$WORK/$1"
    start "$WORK/$1"
    wait_title "Pimlora - $1 100 % " || fail "title of $1: '$(title)'"
    find_picture || fail "picture not found on the screen"
    xdotool mousemove $((OX - 20)) $((OY - 20)) click 1; sleep 0.3
}
# Ctrl+D ends the tool first.
quit() {
    xdotool key ctrl+d; sleep 0.3
    menu_quit
    wait_exit || { fail "editor did not end"; kill "$APP_PID" 2>/dev/null; }
}
save_and_compare() {   # $1 file, $2 what, then the pimlora-cli steps
    local file=$1 what=$2
    shift 2
    local before
    before=$(stat -c %.9Y.%s "$WORK/$file")
    xdotool key ctrl+s; sleep 0.3
    wait_changed "$WORK/$file" "$before" || fail "$what: Ctrl+S did not write"
    "$CLI" run "$WORK/orig.bmp" "$WORK/want_$file" "$@" 2>"$WORK/cli.log" || fail "$what: pimlora-cli failed: $(cat "$WORK/cli.log")"
    if same_pixels "$WORK/$file" "$WORK/want_$file"; then pass "$what"
    else fail "$what: saved pixels differ from pimlora-cli's"; fi
    same_pixels "$WORK/$file" "$WORK/orig.bmp" && fail "$what: the picture did not change"
}

# --- a brush drag --------------------------------------------------------------------
open_copy brush.bmp
xdotool key b; sleep 0.3
drag 20 20 120 70
save_and_compare brush.bmp "a brush drag paints the stroke pimlora-cli paints" \
    $SETTINGS tool:1347 press:20,20 drag:120,70 release:120,70
quit

# --- a rectangle selection, then crop to a new document -------------------------------------
open_copy crop.bmp
xdotool key m; sleep 0.3
drag 100 50 180 120
wait_title "Pimlora - crop.bmp 100 % " || fail "title after the selection: '$(title)'"
menu_item "편집" "잘라서새로만들기" || fail "crop entry missing or greyed"
sleep 1
wait_title "Pimlora - 이름없음 100 % " && pass "crop opens the new document 이름없음" || fail "after the crop: '$(title)'"
xdotool key ctrl+s
for _ in $(seq 50); do dialog_shown "이미저장.*" && break; sleep 0.1; done
sleep 0.5
xdotool key ctrl+a; xdotool type --delay 20 "$WORK/cropped.bmp"; xdotool key Return; sleep 1
for _ in $(seq 50); do [ -f "$WORK/cropped.bmp" ] && break; sleep 0.1; done
$IM "$WORK/orig.bmp" -crop 81x71+100+50 +repage -type TrueColor "BMP3:$WORK/want_crop.bmp"
[ -f "$WORK/cropped.bmp" ] && same_pixels "$WORK/cropped.bmp" "$WORK/want_crop.bmp" \
    && pass "the cropped document holds the selected rectangle" || fail "cropped pixels differ (or not saved)"
quit

# --- a magic-wand click, then a fill ---------------------------------------------------------
open_copy fill.bmp
xdotool key w; sleep 0.3
click 230 90
click_named "채우기" || fail "no tool-bar button named 채우기"   # the palette's fill button
sleep 0.3
click 215 75
save_and_compare fill.bmp "a wand click then a fill paints the selected square" \
    $SETTINGS tool:1344 press:230,90 release:230,90 tool:1352 press:215,75 release:215,75
$IM "$WORK/fill.bmp" -crop 60x60+200+60 +repage -format '%[fx:minima.r*255],%[fx:maxima.r*255],%[fx:maxima.g*255]' info: \
    | grep -q '^255,255,0$' && pass "the square is red, nothing else of it left" || fail "the filled square is not all red"
quit

# --- a straight line -------------------------------------------------------------------------
open_copy line.bmp
xdotool key n; sleep 0.3
drag 30 150 250 180
save_and_compare line.bmp "a straight line is the stroke pimlora-cli draws" \
    $SETTINGS tool:1356 press:30,150 drag:250,180 release:250,180
quit

finish
