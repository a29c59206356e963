#!/usr/bin/env bash
# Makes docs/editor.png: the editor with two documents, tiled side by side,
# under a virtual X server. Needs a built build/pimlora (or PIMLORA=path).
set -euo pipefail
cd "$(dirname "$0")/.."
APP=${PIMLORA:-build/pimlora}
OUT=${1:-docs/editor.png}
IM=/usr/bin/convert-im6.q16
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# A photo-like picture and one with transparency (over the backdrop hatch).
$IM -size 800x600 plasma:fractal -blur 0x2 -type TrueColor "BMP3:$WORK/landscape.bmp"
$IM -size 500x400 radial-gradient:yellow-navy -type TrueColor "BMP3:$WORK/sunset.bmp"
export PIMLORA_HOME="$WORK/home"
mkdir -p "$PIMLORA_HOME"
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  matchbox-window-manager -use_titlebar no >/dev/null 2>&1 &
  sleep 0.5
  "$0" "$1" "$2" >/dev/null 2>&1 &
  app=$!
  for _ in $(seq 100); do w=$(xdotool search --onlyvisible --name "^Pimlora - " | head -1); [ -n "$w" ] && break; sleep 0.1; done
  sleep 1
  xdotool mousemove --window "$w" 600 500 click 1; sleep 0.3
  # View menu, second entry from the end (above "레이어 복제창"): tile the document windows.
  xdotool key --delay 100 F10 Right Right Right Right Right Right Right Up Up Return
  sleep 1
  import -window root "$3"
  kill $app
' "$APP" "$WORK/landscape.bmp" "$WORK/sunset.bmp" "$OUT"
echo "wrote $OUT"
