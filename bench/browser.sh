#!/usr/bin/env bash
# The image browser's speed, side by side:
#  - a folder of 500 photographs of 12 megapixels (JPEG quality 90, made here
#    once and kept in $BENCH_DIR) chosen in the editor under a virtual X
#    server: the time to the first 20 thumbnails and to all of them, and the
#    longest gap between the user-interface thread's events meanwhile (from
#    the editor's trace, $PIMLORA_BROWSER_TRACE);
#  - one thumbnail: inside the program (processor and wall time), as
#    pimlora-cli thumbnail, and as ImageMagick's
#    convert -define jpeg:size=200x180 -thumbnail 100x90, of the same files;
#  - pimlora-cli info of a 24-megapixel JPEG (headers only) against the whole
#    decode it did before: time and peak memory.
#  - the JPEG decode at 1/8 through the DC decoder against libjpeg's, and
#    whether the pixels are the same (base files 4:4:4, and a 4:2:0 copy).
# Usage: bench/browser.sh [BUILD_DIR]   (BENCH_DIR=folder, COUNT=500,
#        ONLY=editor for the editor's run alone)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=$(readlink -f "${1:-build}")
APP=$BUILD/pimlora
CLI=$BUILD/pimlora-cli
BENCH=$BUILD/bench/bench_browser
IM=/usr/bin/convert-im6.q16
COUNT=${COUNT:-500}
BENCH_DIR=${BENCH_DIR:-/tmp/pimlora-browser-bench}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$BENCH_DIR/photos"

# --- the photographs: ten different pictures, copied to COUNT files -----------------
photo() {   # seed -> a 4000 x 3000 photo-like JPEG: smooth fields with grain
    $IM -size 1000x750 plasma:fractal -seed "$1" -resize 4000x3000! -attenuate 0.15 +noise Gaussian \
        -quality 90 "$2"
}
for k in $(seq 0 9); do
    [ -f "$BENCH_DIR/base$k.jpg" ] || photo $((k + 11)) "$BENCH_DIR/base$k.jpg"
done
for i in $(seq 0 $((COUNT - 1))); do
    f=$(printf '%s/photos/photo%04d.jpg' "$BENCH_DIR" "$i")
    [ -f "$f" ] || cp "$BENCH_DIR/base$((i % 10)).jpg" "$f"
done
[ -f "$BENCH_DIR/base0-420.jpg" ] || djpeg "$BENCH_DIR/base0.jpg" | cjpeg -quality 90 -sample 2x2,1x1,1x1 \
    >"$BENCH_DIR/base0-420.jpg"
[ -f "$BENCH_DIR/big24.jpg" ] || $IM -size 1500x1000 plasma:fractal -seed 5 -resize 6000x4000! \
    -attenuate 0.15 +noise Gaussian -quality 90 "$BENCH_DIR/big24.jpg"

echo "machine: $(nproc) cores, load$(uptime | sed 's/.*load average//')"
echo "photographs: $COUNT x 4000 x 3000, JPEG quality 90, $(du -sh "$BENCH_DIR/photos" | cut -f1)"
echo

ms() { echo "scale=1; ($2 - $1) / 1000000" | bc; }

if [ "${ONLY:-}" != editor ]; then
# --- one thumbnail, side by side ---------------------------------------------------------
echo "one thumbnail (100 x 90) of a 12-megapixel JPEG, best of 3, ms:"
printf '%-10s %10s %10s %12s %12s %12s %12s %10s %10s\n' file in-cpu in-wall cli-wall cli-cpu convert-wall convert-cpu \
    conv/in conv/cli
for k in 0 3 7 0-420; do
    f=$BENCH_DIR/base$k.jpg
    read -r icpu iwall < <("$BENCH" thumbs "$f")
    best_cli=999999 best_im=999999 cpu_cli=999999 cpu_im=999999
    for _ in 1 2 3; do
        t0=$(date +%s%N)
        /usr/bin/time -f "%U %S" -o "$WORK/c1" "$CLI" thumbnail "$f" "$WORK/t.bmp"
        t1=$(date +%s%N)
        /usr/bin/time -f "%U %S" -o "$WORK/c2" $IM -define jpeg:size=200x180 "$f" -thumbnail 100x90 "$WORK/u.bmp"
        t2=$(date +%s%N)
        a=$(ms "$t0" "$t1") b=$(ms "$t1" "$t2")
        ca=$(awk '{print ($1 + $2) * 1000}' "$WORK/c1") cb=$(awk '{print ($1 + $2) * 1000}' "$WORK/c2")
        best_cli=$(echo "if ($a < $best_cli) $a else $best_cli" | bc)
        best_im=$(echo "if ($b < $best_im) $b else $best_im" | bc)
        cpu_cli=$(echo "if ($ca < $cpu_cli) $ca else $cpu_cli" | bc)
        cpu_im=$(echo "if ($cb < $cpu_im) $cb else $cpu_im" | bc)
    done
    printf '%-10s %10s %10s %12s %12s %12s %12s %10s %10s\n' "base$k" "$icpu" "$iwall" "$best_cli" "$cpu_cli" "$best_im" \
        "$cpu_im" "$(echo "scale=2; $best_im / $iwall" | bc)" "$(echo "scale=2; $best_im / $best_cli" | bc)"
done
echo "(in-: inside the program, as the browser's worker makes it; cli-: the pimlora-cli thumbnail process;"
echo " -cpu: processor time, user + system; a process's processor time is counted in 10 ms steps;"
echo " conv/in, conv/cli: how many times faster than convert, wall times; the goal is 2 or more)"
echo

echo "the JPEG decode at 1/8, processor ms, best of 5 (DC decoder / libjpeg), same pixels:"
for k in 0 3 7 0-420; do
    read -r dc lib way same < <("$BENCH" eighth "$BENCH_DIR/base$k.jpg")
    printf '  %-10s %8s %8s  %5.2fx  %s %s\n' "base$k" "$dc" "$lib" "$(echo "$lib / $dc" | bc -l)" "$way" "$same"
done
echo

# --- info: headers only against the whole decode ----------------------------------------------
echo "info of a 6000 x 4000 JPEG (24 megapixels):"
/usr/bin/time -f "%e %M" -o "$WORK/m1" "$BENCH" decode "$BENCH_DIR/big24.jpg" >"$WORK/o1"
/usr/bin/time -f "%e %M" -o "$WORK/m2" "$CLI" info "$BENCH_DIR/big24.jpg" >"$WORK/o2"
"$BENCH" probe "$BENCH_DIR/big24.jpg" >"$WORK/o3"
printf '  whole decode (before):  %s in the decode; process %s s, peak %s KB\n' \
    "$(grep -o '[0-9.]* ms' "$WORK/o1")" $(cat "$WORK/m1")
printf '  header probe (now):     %s in the probe;  pimlora-cli info %s s, peak %s KB\n' \
    "$(grep -o '[0-9.]* ms' "$WORK/o3")" $(cat "$WORK/m2")
echo "  $(cat "$WORK/o2")"
echo
fi

# --- the editor: choosing the folder --------------------------------------------------------------
if ! command -v xvfb-run >/dev/null || [ ! -x "$APP" ]; then
    echo "editor: skipped (no xvfb-run or no editor built)"
    exit 0
fi
cat >"$WORK/run.sh" <<RUN
#!/usr/bin/env bash
export HOME=$WORK PIMLORA_HOME=$WORK/home PIMLORA_BROWSER_TRACE=$WORK/trace
mkdir -p "\$PIMLORA_HOME"
cp resources/RoviCon_380.ini "\$PIMLORA_HOME/"
sed -i 's/^WS 0 0 0 0/WS 0 0 1 0/' "\$PIMLORA_HOME/RoviCon_380.ini"
touch "\$PIMLORA_HOME/.installed"
/usr/bin/python3 -c "
import sys; f = sys.argv[1]
open(sys.argv[2], 'wb').write(b'0 update 0\n%d\n' % len(f) + f.encode('utf-16-le'))" "$BENCH_DIR/photos" "\$PIMLORA_HOME/FirstShow.ini"
matchbox-window-manager -use_titlebar no >/dev/null 2>&1 &
sleep 0.5
"$APP" >/dev/null 2>&1 &
app=\$!
for _ in \$(seq 100); do w=\$(xdotool search --onlyvisible --name '^Pimlora' 2>/dev/null | head -1); [ -n "\$w" ] && break; sleep 0.1; done
sleep 2
xdotool mousemove --window "\$w" 600 300 click 1
sleep 0.5
for run in 1 2; do
    : > "\$PIMLORA_BROWSER_TRACE"
    xdotool key ctrl+o
    for _ in \$(seq 1800); do grep -q '^gap' "\$PIMLORA_BROWSER_TRACE" && break; sleep 0.1; done
    cp "\$PIMLORA_BROWSER_TRACE" "$WORK/trace\$run"
    xdotool key ctrl+o    # hidden again
    sleep 1
done
kill \$app
RUN
chmod +x "$WORK/run.sh"
xvfb-run -a -s "-screen 0 1280x1024x24" "$WORK/run.sh"
echo "the editor, the folder of $COUNT photographs chosen (ms after the choice):"
for run in 1 2; do
    t=$WORK/trace$run
    [ -n "${KEEP_TRACE:-}" ] && cp "$t" "$KEEP_TRACE.$run"
    [ -s "$t" ] || { echo "  run $run: no trace"; continue; }
    listed=$(awk '$1 == "listed" {print $3}' "$t")
    first20=$(awk '$1 == "thumb" {n++; if (n == 20) print $3}' "$t")
    all=$(awk '$1 == "done" {print $3}' "$t")
    gap=$(awk '$1 == "gap" {print $2}' "$t")
    made=$(awk '$1 == "done" {print $2}' "$t")
    handler=$(awk '$1 == "handler" {print $2}' "$t")
    cpu=$(awk '$1 == "cpu" {print $2}' "$t")
    uicpu=$(awk '$1 == "uicpu" {print $2}' "$t")
    slow=$(awk '$1 == "slowgap" {printf " %s@%s(cpu %s, waiting for a core %s, after %s)", $2, $3, $4, $5, $6}' "$t")
    echo "  run $run: listed $listed, 20 thumbnails $first20, all $made $all, longest gap between events $gap ms"
    echo "         processor time of the run (all threads) $cpu ms, of the user-interface thread $uicpu ms; longest handler of the browser's own $handler ms"
    [ -n "$slow" ] && echo "         gaps above 50 ms (ms@when(the thread's processor ms in it)):$slow"
done
echo "goals: 20 thumbnails within 500 ms, all within 8000 ms, no gap above 50 ms"
