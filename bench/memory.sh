#!/usr/bin/env bash
# The documents' working-set estimate beside the peak memory pimlora-cli
# really takes (maximum resident set, /usr/bin/time), per megapixel, for
# pictures of a few sizes: opening and saving a VOR (doc), and the same with
# two layers added and a filter run (run ... 1552 1552 1413), and beside the
# memory floor of the picture itself (3 bytes per pixel) and ImageMagick
# reading and writing it.
# Usage: bench/memory.sh [BUILD_DIR]   (SIZES="1000x1000 3000x2000 6000x4000")
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
CLI="$BUILD/pimlora-cli"
IM=/usr/bin/convert-im6.q16
SIZES=${SIZES:-"1000x1000 3000x2000 6000x4000"}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export PIMLORA_HOME="$WORK/home"
mkdir -p "$PIMLORA_HOME"
peak_kb() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1; }
printf '%-10s %6s | %12s %12s | %12s %12s | %12s | %12s\n' size MP "doc est MB" "doc peak MB" "3 lay est" "3 lay peak" "floor MB" "IM peak MB"
for s in $SIZES; do
    w=${s%x*} h=${s#*x}
    pic="$WORK/p.bmp"
    $IM -size "$s" plasma:fractal -seed 3 -type TrueColor "BMP3:$pic"
    mp=$(echo "$w * $h / 1000000" | bc -l)
    # 27 bytes per pixel for one layer, 10 more for each further one.
    est1=$(echo "27 * $w * $h / 1048576" | bc)
    est3=$(echo "47 * $w * $h / 1048576" | bc)
    doc=$(peak_kb "$CLI" doc "$pic" "$WORK/o.vor")
    three=$(peak_kb "$CLI" run "$pic" "$WORK/o3.vor" 1552 1552 1413)
    im=$(peak_kb "$IM" "$pic" "BMP3:$WORK/im.bmp")
    floor=$(echo "3 * $w * $h / 1048576" | bc)
    printf '%-10s %6.1f | %12s %12s | %12s %12s | %12s | %12s\n' "$s" "$mp" "$est1" "$((doc / 1024))" "$est3" \
        "$((three / 1024))" "$floor" "$((im / 1024))"
done
echo "bytes per pixel of the estimate: 27 (one layer), +10 per layer; uptime: $(uptime)"
