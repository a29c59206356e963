#!/usr/bin/env bash
# Makes docs/browser.png: the image browser with a folder of pictures, the
# preview shown and one picture selected, under a virtual X server. Needs a
# built build/pimlora (or PIMLORA=path) and build/pimlora-cli.
set -euo pipefail
cd "$(dirname "$0")/.."
APP=$(readlink -f "${PIMLORA:-build/pimlora}")
CLI=$(readlink -f "${PIMLORA_CLI:-build/pimlora-cli}")
OUT=$(readlink -f "${1:-docs/browser.png}")
IM=/usr/bin/convert-im6.q16
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
P=$WORK/사진
mkdir -p "$P" "$WORK/여행" "$WORK/가족"
$IM -size 1200x800 plasma:fractal -seed 3 -blur 0x2 -quality 90 "$P/산책길.jpg"
$IM -size 900x1200 plasma:fractal -seed 8 -blur 0x3 -quality 90 "$P/나무.jpeg"
$IM -size 1000x700 radial-gradient:gold-navy "$P/노을.tif"
$IM -size 800x800 plasma:fractal -seed 21 -blur 0x1 -colors 200 "$P/꽃밭.gif"
$IM -size 640x480 gradient:skyblue-seagreen -type TrueColor "BMP3:$P/하늘.bmp"
$IM -size 600x400 plasma:fractal -seed 13 -blur 0x4 "$P/바다.pcx"
cp resources/resource_jpg1.jpg "$P/작품1.jpg"
cp resources/resource_1015.tif "$P/작품2.tif"
"$CLI" doc "$P/노을.tif" "$P/엽서.vor" >/dev/null
export PIMLORA_HOME="$WORK/home" HOME=$WORK
mkdir -p "$PIMLORA_HOME"
cp resources/RoviCon_380.ini "$PIMLORA_HOME/"
sed -i 's/^WS 0 0 0 0/WS 0 0 1 0/' "$PIMLORA_HOME/RoviCon_380.ini"
touch "$PIMLORA_HOME/.installed"
/usr/bin/python3 -c "
import sys; f = sys.argv[1]
open(sys.argv[2], 'wb').write(b'0 update 0\n%d\n' % len(f) + f.encode('utf-16-le'))" "$P" "$PIMLORA_HOME/FirstShow.ini"
xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash -c '
  unset NO_AT_BRIDGE
  ATSPI="/usr/bin/python3 tests/gui/atspi.py"
  matchbox-window-manager -use_titlebar no >/dev/null 2>&1 &
  sleep 0.5
  "$0" >/dev/null 2>&1 &
  app=$!
  for _ in $(seq 100); do w=$(xdotool search --onlyvisible --name "^Pimlora" | head -1); [ -n "$w" ] && break; sleep 0.1; done
  sleep 1.5
  xdotool mousemove --window "$w" 600 300 click 1; sleep 0.3
  xdotool key ctrl+o; sleep 3
  $ATSPI click "미리 보기 창" "check box"
  read -r x y _ _ < <($ATSPI where "미리 보기 창" "check box")
  xdotool mousemove $((x + 300)) $((y - 80)) click 1; sleep 0.3
  xdotool key Right Right; sleep 1.5
  import -window root "$1"
  kill $app
' "$APP" "$OUT" 2>/dev/null
echo "wrote $OUT"
