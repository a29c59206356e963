#!/usr/bin/env bash
# The balloon tool and the balloon editor strip with real X input: a balloon
# placed with the tool (its text typed in the text dialog) opens the strip
# "말풍선 편집"; "문구 수정" changes its text, "풍선 꼬리 수정" and a drag move
# its tail, Ctrl+Z takes the tail back and Ctrl+Y brings it again. The saved
# VOR is read with pimlora-cli: one balloon layer, and its pixels equal
# those pimlora-cli builds with the same steps.
# usage: balloon_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
SRC=$(cd "$(dirname "$0")/../.." && pwd)
SHOTS=${PIMLORA_SHOTS:-}

$IM -size 300x200 xc:'#FF00FF' -type TrueColor "BMP3:$WORK/orig.bmp"
cp "$SRC/resources/RoviCon_380.ini" "$SRC/resources/FirstShow.ini" "$PIMLORA_HOME/"
echo 1 >"$PIMLORA_HOME/.installed"
"$CLI" doc "$WORK/orig.bmp" "$WORK/b.vor" >/dev/null || fail "pimlora-cli doc"

type_in_dialog() {   # $1 dialog title, $2 text: replaces the dialog's text and presses 확인
    for _ in $(seq 50); do dialog_shown "$1" && break; sleep 0.1; done
    dialog_shown "$1" || { fail "no dialog '$1'"; return 1; }
    read -r x y w h < <($ATSPI where "글자 입력" text 2>/dev/null) && xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    sleep 0.3
    xdotool key ctrl+a; xdotool type --delay 40 "$2"; sleep 0.3
    click_named "확인" || fail "no 확인 in '$1'"
    for _ in $(seq 50); do dialog_shown "$1" || break; sleep 0.1; done
    sleep 0.5
}

start "$WORK/b.vor"
wait_title "Pimlora - b.vor 100 % " || fail "title: '$(title)'"
find_picture || fail "picture not found on the screen"
xdotool mousemove $((OX - 20)) $((OY - 20)) click 1; sleep 0.3
xdotool key k; sleep 0.3
click 60 130
type_in_dialog "글자 입력" "HI"
where_named "문구 수정" >/dev/null && pass "placing a balloon opens the balloon editor" || fail "no balloon editor after placing"
click_named "문구 수정" || fail "no 문구 수정"
type_in_dialog "글자 수정" "HELLO"
click_named "풍선 꼬리 수정" || fail "no 풍선 꼬리 수정"
sleep 0.5
# The strip moved the picture down: found again, in the middle of its
# picture window (found by name).
read -r x y w h < <($ATSPI where "그림: b.vor 100 %" 2>/dev/null) && [ -n "${h:-}" ] \
    && OX=$((x + (w - 300) / 2)) OY=$((y + (h - 200) / 2)) || fail "no picture window after the strip opened"
drag 100 120 230 30
[ -n "$SHOTS" ] && import -window root "$SHOTS/balloon.png"
xdotool key ctrl+z; sleep 0.5
xdotool key ctrl+y; sleep 0.5
before=$(stat -c %.9Y.%s "$WORK/b.vor")
xdotool key ctrl+s; sleep 0.5
wait_changed "$WORK/b.vor" "$before" || fail "Ctrl+S did not write the VOR"
xdotool key ctrl+d
menu_quit
wait_exit || { fail "editor did not end"; kill "$APP_PID" 2>/dev/null; }

"$CLI" layers "$WORK/b.vor" >"$WORK/layers.txt" || fail "pimlora-cli layers failed"
[ "$(grep -c 'kind=3' "$WORK/layers.txt")" = 1 ] && [ "$(grep -c '^slot=' "$WORK/layers.txt")" = 2 ] \
    && pass "the saved VOR has the picture and one balloon layer" || fail "layers: $(cat "$WORK/layers.txt")"
# The same balloon from pimlora-cli: placed, its text edited, its tail dragged.
SLOT=$(sed -n 's/^slot=\([0-9]*\) kind=3.*/\1/p' "$WORK/layers.txt")
"$CLI" run "$WORK/b.vor" "$WORK/got.bmp" 2>"$WORK/cli.log" || fail "flatten: $(cat "$WORK/cli.log")"
for face in "" ",나눔고딕"; do
    "$CLI" run "$WORK/orig.bmp" "$WORK/want.bmp" "balloon:60,130,20,000000$face:HI" "edit-text:${SLOT:-1}:HELLO" \
        tool:4829 press:100,120 drag:230,30 release:230,30 2>>"$WORK/cli.log" && same_pixels "$WORK/got.bmp" "$WORK/want.bmp" && break
done
same_pixels "$WORK/got.bmp" "$WORK/want.bmp" && pass "the balloon's text and tail are those of pimlora-cli's steps" \
    || { fail "the saved balloon differs from pimlora-cli's"; [ -n "$SHOTS" ] && cp "$WORK/got.bmp" "$WORK/want.bmp" "$SHOTS/"; }
finish
