#!/usr/bin/env bash
# Makes docs/tools.png: a photo worked on with several tools in the editor
# (brush strokes, a line, a circle, spray, a magic-wand and a rectangle
# selection with its outline), the brush settings panel open, under a
# virtual X server. Needs a built build/pimlora (or PIMLORA=path).
set -euo pipefail
cd "$(dirname "$0")/.."
APP=$(readlink -f "${PIMLORA:-build/pimlora}")
OUT=$(readlink -f "${1:-docs/tools.png}")
IM=/usr/bin/convert-im6.q16
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# A thin magenta frame lets the script find the picture on the screen.
$IM -size 756x516 -seed 3 plasma:fractal -blur 0x3 -fill '#2060c0' -draw 'circle 598,378 598,458' \
    -bordercolor '#FF00FF' -border 2 -type TrueColor "BMP3:$WORK/photo.bmp"
export PIMLORA_HOME="$WORK/home"
mkdir -p "$PIMLORA_HOME"
# Drawing colour orange-red, soft brush of size 9.
sed -e 's/^FG0 /FG2113151 /' -e 's/^5 0$/9 1/' resources/RoviCon_380.ini >"$PIMLORA_HOME/RoviCon_380.ini"
cp resources/FirstShow.ini "$PIMLORA_HOME/"
echo 1 >"$PIMLORA_HOME/.installed"
export ATSPI="/usr/bin/python3 $(pwd)/tests/gui/atspi.py"
xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash -c '
  unset NO_AT_BRIDGE
  matchbox-window-manager -use_titlebar no >/dev/null 2>&1 &
  sleep 0.5
  "$0" "$3" >/dev/null 2>&1 &
  app=$!
  for _ in $(seq 100); do w=$(xdotool search --onlyvisible --name "^Pimlora - " | head -1); [ -n "$w" ] && break; sleep 0.1; done
  sleep 1.5
  import -window root "$2/s.png"
  # The picture on the screen, by its frame.
  geo=$(/usr/bin/convert-im6.q16 "$2/s.png" -fill black +opaque "#FF00FF" -format "%@" info:)
  ox=$(echo "$geo" | sed "s/.*+\([0-9]*\)+\([0-9]*\)$/\1/")
  oy=$(echo "$geo" | sed "s/.*+\([0-9]*\)+\([0-9]*\)$/\2/")
  at() { echo $((ox + $1)) $((oy + $2)); }
  drag() { xdotool mousemove $(at $1 $2); sleep 0.2; xdotool mousedown 1; shift 2
           while [ $# -ge 2 ]; do xdotool mousemove $(at $1 $2); sleep 0.05; shift 2; done; xdotool mouseup 1; sleep 0.3; }
  xdotool mousemove $((ox - 20)) $((oy - 20)) click 1; sleep 0.3
  xdotool key b; sleep 0.3
  drag 60 80 100 60 150 70 200 110 250 120 300 100
  drag 60 140 120 150 180 180 240 170
  xdotool key n; sleep 0.3; drag 80 440 420 300
  xdotool key c; sleep 0.3; drag 430 180 530 180
  xdotool key s; sleep 0.3; drag 330 400 360 420 390 430 420 410
  xdotool key w; sleep 0.3; xdotool mousemove $(at 600 380) click 1; sleep 0.5
  xdotool key f; sleep 0.3; xdotool click 1; sleep 0.5
  $ATSPI click "붓굵기" >/dev/null 2>&1 || true; sleep 0.8
  xdotool key m; sleep 0.3; drag 470 60 560 80 700 250
  sleep 0.6
  import -window root "$1"
  kill $app
' "$APP" "$OUT" "$WORK" "$WORK/photo.bmp"
echo "wrote $OUT"
