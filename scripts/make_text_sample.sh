#!/usr/bin/env bash
# Makes docs/text.png: a Korean text layer and a speech balloon rendered by
# pimlora-cli over a picture. Needs a build in ./build (or $BUILD) and
# ImageMagick for the background picture and the PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
CLI="$BUILD/pimlora-cli"
IM=/usr/bin/convert-im6.q16
[ -x "$CLI" ] || { echo "build pimlora-cli first ($CLI)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The picture: a sky, a sun, two hills and a path.
"$IM" -size 640x400 gradient:'#5d9ad8-#e8f2fb' \
  -fill '#ffd75e' -draw 'circle 540,80 540,122' \
  -fill '#79b257' -draw 'ellipse 160,430 330,170 0,360' \
  -fill '#4f8f3a' -draw 'ellipse 520,450 300,190 0,360' \
  -fill '#d9c49a' -draw 'polygon 300,400 380,400 345,300 330,300' \
  -type TrueColor BMP3:"$tmp/picture.bmp"

"$CLI" run "$tmp/picture.bmp" "$tmp/text.bmp" \
  'text:34,28,40,1E3A6E,굴림:안녕하세요, 핌로라!\n한글 글자 레이어' \
  'balloon:120,235,26,222222,돋움:오늘 날씨가\n정말 좋네요!' \
  'text:24,352,22,FFFFFF,바탕:바탕 글꼴로 쓴 흰 글자 레이어'

"$IM" "$tmp/text.bmp" -strip -define png:exclude-chunks=date,time docs/text.png
echo "docs/text.png written"
