#!/usr/bin/env bash
# Side by side on one 6000 x 4000 picture: the flood fill of a 2000 x 2000
# square (4 megapixels) and a gradient of the whole picture, ours against
# ImageMagick; and our brush drag step.
#
# ImageMagick's times are whole runs minus its no-op run of the same kind
# (load and save of the picture for the fill; a plain canvas of the same
# size saved for the gradient), best of $RUNS. Ours are the operation on an
# open document (bench/bench_paint on the same picture), wall and
# processor time. On a shared machine the processor times are the ones to
# compare; the load is printed with the table.
# Usage: bench/compare_paint.sh [BUILD_DIR]   (RUNS=n)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
BENCH="$BUILD/bench/bench_paint"
IM=/usr/bin/convert-im6.q16
RUNS=${RUNS:-3}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
[ -x "$BENCH" ] || { echo "build bench_paint first (cmake --build $BUILD --target bench_paint)" >&2; exit 2; }

# Noisy blue-grey around a light grey square at 2000,1000 .. 3999,2999.
IN="$WORK/in.bmp"
$IM -size 6000x4000 xc:'rgb(40,90,160)' -attenuate 0.4 +noise Uniform \
    -fill 'rgb(200,200,200)' -draw 'rectangle 2000,1000 3999,2999' -type TrueColor "BMP3:$IN"

# best "wall processor" milliseconds of a command line over $RUNS runs
# (processor time of the command and everything it starts)
best() {
    /usr/bin/python3 - "$1" "$RUNS" <<'PY'
import resource, subprocess, sys, time
cmd, runs = sys.argv[1], int(sys.argv[2])
bw = bc = None
for _ in range(runs):
    r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    subprocess.run(cmd, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    w = (time.monotonic() - t0) * 1000
    r1 = resource.getrusage(resource.RUSAGE_CHILDREN)
    c = (r1.ru_utime - r0.ru_utime + r1.ru_stime - r0.ru_stime) * 1000
    bw = w if bw is None else min(bw, w)
    bc = c if bc is None else min(bc, c)
print(f"{bw:.0f} {bc:.0f}")
PY
}
minus() { echo "$1 $2" | awk '{d = $1 - $2; printf "%.0f", (d < 0 ? 0 : d)}'; }

OUT="$WORK/out.bmp"
read -r im_load_w im_load_c < <(best "$IM '$IN' '$OUT'")
read -r im_fill_w im_fill_c < <(best "$IM '$IN' -fill red -draw 'color 3000,2000 floodfill' '$OUT'")
read -r im_canvas_w im_canvas_c < <(best "$IM -size 6000x4000 xc:red '$OUT'")
read -r im_grad_w im_grad_c < <(best "$IM -size 6000x4000 gradient:red-blue '$OUT'")

# Ours: real_time and cpu_time (ms) of each benchmark on the same picture.
PAINT_PICTURE="$IN" PAINT_FILL_X=3000 PAINT_FILL_Y=2000 "$BENCH" --benchmark_format=csv \
    --benchmark_repetitions="$RUNS" --benchmark_report_aggregates_only=false 2>/dev/null >"$WORK/ours.csv"
ours() {   # name -> "wall cpu" (best of the repetitions)
    awk -F, -v n="\"$1\"" '$1 == n { if (w == "" || $3 < w) w = $3; if (c == "" || $4 < c) c = $4 }
        END { printf "%.2f %.2f\n", w, c }' "$WORK/ours.csv"
}
read -r o_fill_w o_fill_c < <(ours BM_Fill4MP)
read -r o_grad_w o_grad_c < <(ours BM_GradientLinear)
read -r o_vert_w o_vert_c < <(ours BM_GradientVertical)
read -r o_drag_w o_drag_c < <(ours BM_BrushDragStep)
read -r o_whole_w o_whole_c < <(ours BM_BrushDragStepWhole)

echo "load: $(uptime | sed 's/.*load average/load average/')"
printf '%-34s %12s %12s %16s %16s\n' "operation (ms)" "ours wall" "ours cpu" "ImageMagick wall" "ImageMagick cpu"
printf '%-34s %12s %12s %16s %16s\n' "fill 2000x2000 of 6000x4000" "$o_fill_w" "$o_fill_c" \
    "$(minus "$im_fill_w" "$im_load_w")" "$(minus "$im_fill_c" "$im_load_c")"
# ImageMagick's gradient: runs from top to bottom, like our vertical rule.
printf '%-34s %12s %12s %16s %16s\n' "gradient 6000x4000 (vertical)" "$o_vert_w" "$o_vert_c" \
    "$(minus "$im_grad_w" "$im_canvas_w")" "$(minus "$im_grad_c" "$im_canvas_c")"
printf '%-34s %12s %12s %16s %16s\n' "gradient 6000x4000 (slanted)" "$o_grad_w" "$o_grad_c" "-" "-"
printf '%-34s %12s %12s %16s %16s\n' "brush drag step (40 px, size 25)" "$o_drag_w" "$o_drag_c" "-" "-"
printf '%-34s %12s %12s %16s %16s\n' "  the same with whole-layer copies" "$o_whole_w" "$o_whole_c" "-" "-"
echo "ImageMagick no-op runs: load+save $(printf %.0f "$im_load_w") ms wall, $(printf %.0f "$im_load_c") ms cpu;" \
     "canvas+save $(printf %.0f "$im_canvas_w") ms wall, $(printf %.0f "$im_canvas_c") ms cpu"
