#!/usr/bin/env bash
# The tool palette with real X input: every tool button, the colours and the
# size display are shown inside the window at 1280 x 1024 and again on a
# screen 900 pixels high (run on a second X server); buttons found by their
# accessible names choose their tools: the colour picker takes a colour that
# the fill then pours (read from the saved file), the text tool opens its
# dialog, the zoom tool zooms at a click, a path button opens the path panel.
# usage: palette_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
SRC=$(cd "$(dirname "$0")/../.." && pwd)
SHOTS=${PIMLORA_SHOTS:-}

$IM -size 300x200 xc:'#FF00FF' -fill '#00FFFF' -draw 'rectangle 200,60 259,119' -type TrueColor "BMP3:$WORK/orig.bmp"
cp "$SRC/resources/RoviCon_380.ini" "$SRC/resources/FirstShow.ini" "$PIMLORA_HOME/"
echo 1 >"$PIMLORA_HOME/.installed"

BUTTONS=("이동(레스터형식)" "화면 확대" "색상추출" "글자 입력" "말풍선 넣기" "말풍선 꼬리"
    "경로 점 찍기" "경로 점 끌기" "경로 점 넣기" "경로 점 지우기"
    "자유변형(크기조정)" "자유변형(왜곡)" "자유변형(원근)"
    "사각 선택" "붓 도구" "원그리기" "전경색" "배경색" "색 바꾸기" "붓굵기")
SCREEN_H=$(xdpyinfo 2>/dev/null | sed -n 's/.*dimensions: *[0-9]*x\([0-9]*\) pixels.*/\1/p')
SCREEN_H=${SCREEN_H:-1024}

cp "$WORK/orig.bmp" "$WORK/p.bmp"
start "$WORK/p.bmp"
wait_title "Pimlora - p.bmp 100 % " || fail "title: '$(title)'"
sleep 0.5
[ -n "$SHOTS" ] && import -window root "$SHOTS/palette_${SCREEN_H}.png"

# Every button is showing (none behind an overflow arrow) and lies on the screen.
for name in "${BUTTONS[@]}"; do
    if read -r bx by bw bh < <(where_named "$name" 2>/dev/null); then
        [ $((by + bh)) -le "$SCREEN_H" ] && [ "$by" -ge 0 ] && [ "$bw" -gt 0 ] \
            || fail "button '$name' at $bx,$by ${bw}x$bh lies outside the $SCREEN_H pixel high screen"
    else
        fail "no button '$name' showing on the palette ($SCREEN_H pixels high)"
    fi
done
pass "${#BUTTONS[@]} palette buttons checked at a height of $SCREEN_H"

if [ "${PALETTE_PHASE:-}" = small ]; then
    # A path button opens the path panel.
    click_named "경로 점 찍기" || fail "경로 점 찍기 not clickable"
    sleep 0.6
    where_named "영역으로" >/dev/null && pass "the path button opened the path panel" || fail "no path panel after 경로 점 찍기"
    xdotool key ctrl+d
    kill "$APP_PID" 2>/dev/null
    finish
    exit
fi

find_picture || fail "picture not found on the screen"
# The colour picker on the cyan square, then the fill on the magenta.
click_named "색상추출" || fail "색상추출 not clickable"
sleep 0.3
click 230 90
click_named "채우기" || fail "채우기 not clickable"
sleep 0.3
click 10 10
before=$(stat -c %.9Y.%s "$WORK/p.bmp")
xdotool key ctrl+s; sleep 0.5
wait_changed "$WORK/p.bmp" "$before" || fail "Ctrl+S did not write"
c=$($IM "$WORK/p.bmp" -format '%[hex:p{10,10}]' info: | cut -c1-6)
[ "$c" = "00FFFF" ] && pass "the picked colour (cyan) was poured by the fill" || fail "pixel (10,10) after pick and fill: $c"

# The text tool's button: a click in the picture opens its dialog.
click_named "글자 입력" || fail "글자 입력 not clickable"
sleep 0.3
click 40 40
for _ in $(seq 50); do dialog_shown "글자 입력" && break; sleep 0.1; done
dialog_shown "글자 입력" && pass "the text button's tool opens 글자 입력" || fail "no text dialog after the text button"
click_named "취소" || xdotool key Escape
for _ in $(seq 50); do dialog_shown "글자 입력" || break; sleep 0.1; done

# The zoom tool's button chooses the tool (the picture stays at 100 %
# until the click), the click zooms in one step.
click_named "화면 확대" || fail "화면 확대 not clickable"
# Off the button (its tool tip is a window of its own) onto the picture.
xdotool mousemove $(at 150 100); sleep 0.5
[ "$(title)" = "Pimlora - p.bmp 100 % " ] || fail "the zoom button zoomed by itself: '$(title)'"
click 150 100
wait_title "Pimlora - p.bmp 125 % " && pass "the zoom tool's click zoomed to 125 %" || fail "title after the zoom click: '$(title)'"
xdotool key ctrl+d
menu_quit
wait_exit || { fail "editor did not end: '$(title)'"; import -window root "$WORK/end.png"; [ -n "$SHOTS" ] && cp "$WORK/end.png" "$SHOTS/palette_end.png"; kill "$APP_PID" 2>/dev/null; }

# Again on a screen 900 pixels high.
if command -v xvfb-run >/dev/null; then
    out=$(env -u PIMLORA_GUI_BUS PALETTE_PHASE=small xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$1" "$2" "${3:-}" 2>&1)
    echo "$out" | grep -E '^(ok|FAIL)'
    echo "$out" | grep -q '^0 failure' || fail "the palette on a screen 900 pixels high"
fi
finish
