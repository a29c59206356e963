#!/usr/bin/env bash
# The speed goals inside the program, each next to its yardstick measured in
# the same run (bench/compare.sh prints this after its table):
#  * compositing, 40 layers of 1920 x 1080 (bench_composite): every blend
#    mode against one plain copy of the bytes the compositor reads (the
#    floor) and against the normal rule;
#  * the per-pixel operations on a 6000 x 4000 layer (bench_pixel_ops)
#    against a plain memcpy of the bytes each touches: the pixels (negative,
#    RGB split), pixels and alpha (the operations that test and commit each
#    pixel's alpha), a fresh buffer (the YUV and HSL splits, whose planes are
#    new pictures); the commands in their frame (previous-state copy,
#    scratch in and out) without their undo step;
#  * the quarter turn of a 6000 x 4000 layer (bench_transforms);
#  * start-up to the first paint of a 24-megapixel JPEG against its decode
#    time (bench/startup.sh).
# Times in ms, the best of $REPS repetitions; "cpu" is the whole process's
# processor time (the compositor and the operations use two threads). On a
# shared machine the wall clock mostly measures the other load: compare
# the ratios, and note the load (printed first).
# Usage: bench/inside.sh [BUILD_DIR]   (REPS=n, SKIP_STARTUP=1)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
REPS=${REPS:-3}
echo "load: $(uptime)"

# "name wall cpu" per benchmark: the smallest of its repetitions.
bench_min() {
    GLIBC_TUNABLES=glibc.malloc.hugetlb=1 "$@" --benchmark_repetitions="$REPS" --benchmark_format=csv 2>/dev/null |
        awk -F, 'NR > 1 {
            n = $1; gsub(/"/, "", n)
            if (n ~ /_(mean|median|stddev|cv|min)$/) next
            sub(/\/(process_time|real_time).*$/, "", n)
            if (!(n in wall)) { order[++k] = n; wall[n] = $3; cpu[n] = $4 }
            if ($3 + 0 < wall[n] + 0) wall[n] = $3
            if ($4 + 0 < cpu[n] + 0) cpu[n] = $4
        } END { for (i = 1; i <= k; ++i) print order[i], wall[order[i]], cpu[order[i]] }'
}

echo
echo "compositing, 40 layers of 1920 x 1080 (floor: a plain copy of the bytes read)"
bench_min "$BUILD/bench/bench_composite" --benchmark_filter='BM_Full' | awk '
    { name[NR] = $1; wall[NR] = $2; cpu[NR] = $3 }
    $1 == "BM_Full_Floor" { floor = $3 }
    $1 == "BM_Full_Composite/mode:0/cold:0" { normal = $3 }
    END {
        printf "%-36s %9s %9s %10s %10s\n", "row", "wall", "cpu", "cpu/floor", "cpu/normal"
        for (i = 1; i <= NR; ++i)
            printf "%-36s %9.1f %9.1f %10.2f %10.2f\n", name[i], wall[i], cpu[i],
                floor ? cpu[i] / floor : 0, normal ? cpu[i] / normal : 0
    }'

echo
echo "per-pixel operations, 6000 x 4000 (floor: memcpy of the bytes touched, same run)"
bench_min "$BUILD/bench/bench_pixel_ops" | awk '
    { name[NR] = $1; wall[NR] = $2; cpu[NR] = $3 }
    $1 == "BM_Floor/alpha:0" { pix = $2 }
    $1 == "BM_Floor/alpha:1" { both = $2 }
    $1 == "BM_FloorFresh" { fresh = $2 }
    END {
        printf "%-36s %9s %9s %-18s %10s\n", "row", "wall", "cpu", "floor", "wall/floor"
        for (i = 1; i <= NR; ++i) {
            n = name[i]
            if (n ~ /^BM_Floor/) { f = "-"; fw = 0 }
            else if (n ~ /Negative|SplitRGB|Histogram/) { f = "pixels"; fw = pix }
            else if (n ~ /SplitYUV|SplitHSL/) { f = "fresh"; fw = fresh }
            else { f = "pixels+alpha"; fw = both }
            if (fw) printf "%-36s %9.1f %9.1f %-18s %10.2f\n", n, wall[i], cpu[i], f, wall[i] / fw
            else printf "%-36s %9.1f %9.1f %-18s %10s\n", n, wall[i], cpu[i], f, "-"
        }
    }'

echo
echo "quarter turn of a 6000 x 4000 layer, the turn alone (the command with its undo step: compare.sh's table)"
bench_min "$BUILD/bench/bench_transforms" --benchmark_filter='QuarterTurnLayer' |
    awk '{ printf "%-36s %9.1f %9.1f\n", $1, $2, $3 }'

if [ -z "${SKIP_STARTUP:-}" ] && [ -x "$BUILD/pimlora" ]; then
    echo
    RUNS=$REPS bench/startup.sh "$BUILD"
fi
