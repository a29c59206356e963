#!/usr/bin/env bash
# Builds docs/filters.png: every filter of the filter dialog (and the lens
# effect and the three thresholds) applied with its starting values to one
# test picture, side by side with their names.
# Usage: scripts/filters_sheet.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
CLI="$BUILD/pimlora-cli"
IM=/usr/bin/convert-im6.q16
MONTAGE=/usr/bin/montage-im6.q16
FONT=$(fc-list :lang=ko file | head -1 | cut -d: -f1)
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT

# The test picture: sky, sun, hills, a house, fine detail and text.
$IM -size 240x180 gradient:'#5b8fd6'-'#dfeeff' \
    -fill '#f4c430' -draw 'circle 190,40 190,62' \
    -fill '#3f8f3a' -draw 'ellipse 60,190 140,70 0,360' \
    -fill '#2f6f2a' -draw 'ellipse 200,200 120,60 0,360' \
    -fill '#b5473a' -draw 'polygon 70,120 110,85 150,120' \
    -fill '#e8d8b0' -draw 'rectangle 78,120 142,165' \
    -fill '#5a3a20' -draw 'rectangle 102,138 118,165' \
    -fill '#8fd0ff' -draw 'rectangle 84,128 98,142' -draw 'rectangle 124,128 138,142' \
    -fill white -stroke '#303030' -draw 'line 10,170 60,140' -draw 'line 10,175 70,150' \
    -stroke none -fill '#202020' -pointsize 18 -draw "text 8,28 'Pimlora'" \
    -type TrueColor "BMP3:$TMP/source.bmp"

steps=("원본|"
       "노이즈제거(B)|filter:노이즈제거(B)" "부드럽게|filter:부드럽게" "흐리게|filter:흐리게"
       "윤곽선|filter:윤곽선:2,0" "경계강조|filter:경계강조:20,5" "물체축소|filter:물체축소" "물체확장|filter:물체확장"
       "찍어붙이기|filter:찍어붙이기" "색종이뿌리기|filter:색종이뿌리기" "선효과채색|filter:선효과채색"
       "수채화|filter:수채화" "한지효과|filter:한지효과:40" "빗방울|filter:빗방울" "유리성에|filter:유리성에:3"
       "영역확장|filter:영역확장" "방울채색|filter:방울채색" "유화|filter:유화" "엠보스|filter:엠보스:3,1"
       "욕실효과|filter:욕실효과" "부드럽게B|filter:부드럽게B" "렌즈효과|3479"
       "FS 디더링|filter:임계치변환/FS 디더링" "OR 디더링|filter:임계치변환/OR 디더링"
       "절대변환|filter:임계치변환/절대변환" "반전변환|1413")
tiles=()
i=0
for entry in "${steps[@]}"; do
    label=${entry%%|*}
    step=${entry#*|}
    out="$TMP/$(printf %02d $i).bmp"
    if [ -z "$step" ]; then
        cp "$TMP/source.bmp" "$out"
    else
        "$CLI" run "$TMP/source.bmp" "$out" "$step"
    fi
    tiles+=(-label "$label" "$out")
    i=$((i + 1))
done
$MONTAGE ${FONT:+-font "$FONT"} -pointsize 14 -geometry +4+4 -tile 6x "${tiles[@]}" docs/filters.png
echo "docs/filters.png"
