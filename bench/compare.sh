#!/usr/bin/env bash
# Side-by-side timing of our layer operations against ImageMagick and
# libvips on one 6000 x 4000 picture. Every tool's time is its whole run
# minus its own no-op run (load and save of the same file), best of $RUNS;
# ours runs without writing undo steps there (apply --no-undo), as the other
# tools keep none. Also timed inside the program: "ours-op" the operation in
# its command frame on an open document, warm buffers, no undo step
# (apply --no-undo --time --repeat 2), "+undo" the same command with its
# undo step until the step's journal files are written (apply --time
# --flush), and "visible" the time the user waits with the undo step, until
# the editor takes the next command: the journal writes the step's files
# behind (apply --time). The last two are timed with the journal idle at the
# start of the command, as it is after an open.
# Usage: bench/compare.sh [BUILD_DIR]   (RUNS=n, PHOTO=file.tif, SKIP_SLOW=1)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
CLI="$BUILD/pimlora-cli"
IM=/usr/bin/convert-im6.q16
VIPS=$(command -v vips || true)
RUNS=${RUNS:-1}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# An uncompressed TIFF: all three tools read it with their own native
# loader (libvips would go through its ImageMagick loader for BMP).
PHOTO=${PHOTO:-$WORK/photo.tif}
if [ ! -f "$PHOTO" ]; then
    # A photo-like picture: smooth colour fields with fine grain.
    $IM -size 1500x1000 plasma:fractal -seed 7 -resize 6000x4000! -attenuate 0.3 +noise Gaussian \
        -type TrueColor -depth 8 -compress None "TIFF:$PHOTO"
fi

now() { date +%s.%N; }
# best wall time in ms of a command line (eval'd), over $RUNS runs
best() {
    local b=""
    for _ in $(seq "$RUNS"); do
        local t0 t1
        t0=$(now)
        eval "$1" >/dev/null 2>&1 || { echo "nan"; return; }
        t1=$(now)
        local ms
        ms=$(echo "($t1 - $t0) * 1000" | bc)
        if [ -z "$b" ] || [ "$(echo "$ms < $b" | bc)" = 1 ]; then b=$ms; fi
    done
    echo "$b"
}
sub() { if [ "$1" = nan ] || [ "$1" = "-" ]; then echo "-"; else echo "$1 - $2" | bc | awk '{printf "%.0f", ($1 < 0 ? 0 : $1)}'; fi; }

printf '3 3 9 0\n1 1 1\n1 1 1\n1 1 1\n' >"$WORK/box3.mat"
printf '5 5 25 0\n' >"$WORK/box5.mat"; for _ in 1 2 3 4 5; do echo "1 1 1 1 1" >>"$WORK/box5.mat"; done
printf '9 9 81 0\n' >"$WORK/box9.mat"; for _ in $(seq 9); do echo "1 1 1 1 1 1 1 1 1" >>"$WORK/box9.mat"; done
printf '3 3 1 0\n-1 -1 -1\n-1 8 -1\n-1 -1 -1\n' >"$WORK/outline.mat"
printf '3 3\n255 255 255\n255 255 255\n255 255 255\n' >"$WORK/morph.mat"

IN="$PHOTO"
OUT="$WORK/out.bmp"
VOUT="$WORK/out.v"
ours0=$(best "$CLI apply --no-undo '$IN' '$OUT'")
im0=$(best "$IM '$IN' '$OUT'")
im10=$(best "$IM -limit thread 1 '$IN' '$OUT'")
if [ -n "$VIPS" ]; then
    v0=$(best "$VIPS copy '$IN' '$VOUT'")
    v10=$(best "VIPS_CONCURRENCY=1 $VIPS copy '$IN' '$VOUT'")
fi

# name | our step | ImageMagick options | vips command (IN OUT appended in place of @)
rows=(
  "box mean 3|filter:흐리게:3|-statistic Mean 3x3|conv @ $WORK/box3.mat --precision integer"
  "box mean 5|filter:흐리게:5|-statistic Mean 5x5|conv @ $WORK/box5.mat --precision integer"
  "box mean 9|filter:흐리게:9|-statistic Mean 9x9|conv @ $WORK/box9.mat --precision integer"
  "median 3|median:3|-statistic Median 3x3|median @ 3"
  "median 5|median:5|-statistic Median 5x5|median @ 5"
  "erode 3|filter:물체축소:3|-morphology Erode Square:1|morph @ $WORK/morph.mat erode"
  "dilate 3|filter:물체확장:3|-morphology Dilate Square:1|morph @ $WORK/morph.mat dilate"
  "3x3 convolution|filter:윤곽선:1,0|-morphology Convolve '3x3: -1,-1,-1,-1,8,-1,-1,-1,-1'|conv @ $WORK/outline.mat --precision integer"
  "flip|1411|-flip|flip @ vertical"
  "mirror|1410|-flop|flip @ horizontal"
  "quarter turn|1491|-rotate 90|rot @ d90"
  "rotate 30|1415:30|-rotate 30|rotate @ 30"
  "resize 50%|size:3000,2000|-resize 50%|resize @ 0.5"
  "resize 200%|size:12000,8000|-resize 200%|resize @ 2"
  "negative|1413|-negate|invert @"
  "brightness/contrast|brightness:10,20|-brightness-contrast 10x20|linear @ 1.08 10"
  "256 colours|2016|-colors 256|-"
)

printf '%-20s %8s %8s %8s %8s %8s %8s %8s %8s %8s %9s\n' op ours ours-op +undo visible IM IM-1thr vips vips-1thr IM/ours ours/vips
for row in "${rows[@]}"; do
    IFS='|' read -r name step imop vop <<<"$row"
    if [ -n "${SKIP_SLOW:-}" ] && [[ "$name" == median* ]]; then continue; fi
    o=$(sub "$(best "$CLI apply --no-undo '$IN' '$OUT' '$step'")" "$ours0")
    rep=2
    [[ "$step" == size* || "$step" == 2016 || "$step" == 1491 ]] && rep=1
    inner=$("$CLI" apply --no-undo "$IN" "$OUT" --time --repeat $rep "$step" 2>&1 >/dev/null | awk '{print $(NF-1)}' | tail -1)
    withundo=$("$CLI" apply "$IN" "$OUT" --time --flush "$step" 2>&1 >/dev/null | awk '{print $(NF-1)}' | tail -1)
    visible=$("$CLI" apply "$IN" "$OUT" --time "$step" 2>&1 >/dev/null | awk '{print $(NF-1)}' | tail -1)
    i=$(sub "$(best "$IM '$IN' $imop '$OUT'")" "$im0")
    i1=$(sub "$(best "$IM -limit thread 1 '$IN' $imop '$OUT'")" "$im10")
    v="-"; v1="-"
    if [ -n "$VIPS" ] && [ "$vop" != "-" ]; then
        vc=${vop/@/"'$IN' '$VOUT'"}
        v=$(sub "$(best "$VIPS $vc")" "$v0")
        v1=$(sub "$(best "VIPS_CONCURRENCY=1 $VIPS $vc")" "$v10")
    fi
    ratio() { if [ "$1" = "-" ] || [ "$2" = "-" ] || [ "$2" = 0 ]; then echo "-"; else echo "scale=2; $1 / $2" | bc; fi; }
    printf '%-20s %8s %8s %8s %8s %8s %8s %8s %8s %8s %9s\n' "$name" "$o" "${inner%.*}" "${withundo%.*}" "${visible%.*}" "$i" "$i1" "$v" "$v1" \
        "$(ratio "$i" "$o")" "$(ratio "$o" "$v")"
done
echo "times in ms; ours = whole run minus no-op run (no undo steps); ours-op = inside, warm, no undo step;"
echo "+undo = inside with the undo step until its files are written; visible = inside with the undo step until the next command"

# Then the goals inside the program against their floors, in the same run:
# compositing, the per-pixel operations, the turn and start-up (bench/inside.sh;
# REPS=n and SKIP_STARTUP=1 are passed on).
echo
bench/inside.sh "$BUILD"
