#!/usr/bin/env bash
# Start-up of the editor to the first paint of a 24-megapixel JPEG named on
# the command line, next to the decode time of the same file in the same
# run. The start is taken from outside (the wall clock just before the
# process is started) and from inside (the kernel's start time of the
# process); the editor prints both at its first paint with PIMLORA_PAINT_LOG
# set. Each run starts with a fresh per-user folder holding the installed
# defaults (no journal folders left from an earlier run), after one run that
# is not counted (it installs those defaults and warms the file cache).
# The decode time is jpeg_bench's JpegDecodeOurs (our adapter, whole picture)
# on the same file. Runs under its own X server (xvfb-run) unless DISPLAY is
# set. Prints every run (first paint, decode, goal) and the best of $RUNS.
# Usage: bench/startup.sh [BUILD_DIR]   (RUNS=n)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
APP=$(readlink -f "$BUILD/pimlora")
RUNS=${RUNS:-3}
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$WORK"' EXIT
# The codec benchmarks' photo (made once, kept in /tmp).
JPEG=/tmp/pimlora-bench/photo6000x4000_q90.jpg
if [ ! -s "$JPEG" ]; then
    mkdir -p /tmp/pimlora-bench
    PPM=/tmp/pimlora-bench/photo6000x4000.ppm
    [ -s "$PPM" ] || /usr/bin/convert-im6.q16 -seed 42 -size 6000x4000 plasma:fractal -depth 8 "$PPM"
    cjpeg -quality 90 "$PPM" >"$JPEG"
fi
export PIMLORA_UPDATE_HOST=127.0.0.1:1

now() { date +%s.%N; }
# On a virtual machine that hands freed memory back to its host (virtio-balloon
# free page reporting, about 2 s after it is freed), every page not touched
# since costs a fault in the host on its first touch: here 2.5 ms per MB or
# more, which the decode (72 MB) and the fill of the layer (144 MB, after the
# first paint) pay. The first run after the warm-up finds the warm-up's pages
# still held, the others mostly fresh ones; the "ahead+fill" column shows which.
# One start: prints "outside inside" in ms, or "nan nan".
start_once() {
    local home=$1 log=$2
    rm -rf "$home"
    cp -a "$WORK/home0" "$home"
    local t0 pid
    t0=$(now)
    PIMLORA_HOME="$home" PIMLORA_PAINT_LOG=1 "$APP" "$JPEG" >/dev/null 2>"$log" &
    pid=$!
    for _ in $(seq 600); do
        grep -q '^first paint:' "$log" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    # A layer filled after the first paint: its line, for the last column.
    for _ in $(seq 40); do
        grep -q 'layer filled in' "$log" 2>/dev/null && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    local line
    line=$(grep '^first paint:' "$log" | head -1 || true)
    if [ -z "$line" ]; then echo "nan nan"; return; fi
    local inside at
    inside=$(echo "$line" | awk '{print $3}')
    at=$(echo "$line" | awk '{print $NF}')
    echo "$(echo "($at - $t0) * 1000" | bc | awk '{printf "%.0f", $1}') $inside"
}

# The warm-up run makes the per-user folder every run starts from.
mkdir -p "$WORK/home0"
PIMLORA_HOME="$WORK/home0" PIMLORA_PAINT_LOG=1 "$APP" "$JPEG" >/dev/null 2>"$WORK/warm.log" &
warm=$!
for _ in $(seq 600); do
    grep -q '^first paint:' "$WORK/warm.log" 2>/dev/null && break
    kill -0 "$warm" 2>/dev/null || break
    sleep 0.05
done
kill "$warm" 2>/dev/null || true
wait "$warm" 2>/dev/null || true
# Its journal folder (the one with a lock file) is not copied into the others.
find "$WORK/home0" -name .lock -printf '%h\n' | xargs -r rm -rf

# The decode time of the same file, measured next to each start.
decode_once() {
    local d
    d=$("$BUILD/bench/jpeg_bench" --benchmark_filter='JpegDecodeOurs' --benchmark_min_time=0.3 2>/dev/null |
        awk '$1 ~ /^JpegDecodeOurs\// {print $2}' | head -1)
    echo "${d:-nan}"
}
goal_of() { echo "$1" | awk '{ if ($1 == "nan") print "nan"; else printf "%.0f", 1.2 * ($1 + 100) }'; }

# The decode ahead and the layer's fill as the start itself saw them (its log).
# A layer filled after the first paint says so on a line of its own.
ahead_of() {
    local ahead fill
    ahead=$(sed -n 's/^start-up: decoded ahead in \([0-9]*\) ms.*/\1/p' "$1" | head -1)
    fill=$(sed -n -e 's/^start-up: decoded ahead in [0-9]* ms, layer filled in \([-0-9]*\) ms.*/\1/p' \
        -e 's/^start-up: layer filled in \([-0-9]*\) ms, settled at \([0-9]*\) ms/\1 (later, settled at \2)/p' "$1" | head -1)
    echo "$ahead $fill"
}

printf '%-6s %12s %12s %10s %12s %8s %14s\n' "run" "paint(out)" "paint(in)" "decode" "1.2(d+100)" "in/goal" "ahead+fill"
best_out="" best_in="" best_decode=""
for i in $(seq "$RUNS"); do
    read -r o n < <(start_once "$WORK/home$i" "$WORK/log$i")
    d=$(decode_once)
    g=$(goal_of "$d")
    ratio=$(awk -v n="$n" -v g="$g" 'BEGIN { if (n == "nan" || g == "nan") print "nan"; else printf "%.2f", n / g }')
    read -r ad af < <(ahead_of "$WORK/log$i"; echo)
    af=${af// /_}
    printf '%-6s %12s %12s %10.0f %12s %8s %14s\n' "$i" "$o" "$n" "$d" "$g" "$ratio" "${ad:-?}+${af:-?}"
    if [ "$o" != nan ] && { [ -z "$best_out" ] || [ "$o" -lt "$best_out" ]; }; then best_out=$o; fi
    if [ "$n" != nan ] && { [ -z "$best_in" ] || [ "$n" -lt "$best_in" ]; }; then best_in=$n; fi
    if [ "$d" != nan ] && { [ -z "$best_decode" ] || awk -v a="$d" -v b="$best_decode" 'BEGIN { exit !(a < b) }'; }; then
        best_decode=$d
    fi
done
goal=$(goal_of "${best_decode:-nan}")
ratio=$(awk -v n="${best_in:-nan}" -v g="$goal" 'BEGIN { if (n == "nan" || g == "nan") print "nan"; else printf "%.2f", n / g }')
printf '%-6s %12s %12s %10.0f %12s %8s\n' "best" "${best_out:-nan}" "${best_in:-nan}" "${best_decode:-nan}" "$goal" "$ratio"
echo "first paint of a 24 MP JPEG named on the command line, ms after the start (outside: wall clock before"
echo "the start; inside: the kernel's start time of the process); decode: our JPEG decode of the same file"
echo "in the same run; goal 1.2 x (decode + 100 ms); ahead+fill: the decode on the start's helper thread and"
echo "the fill of the layer's buffers (later: after the first paint, and when the layer was settled), from the"
echo "start's own log. Stages of the last run:"
grep '^start-up:' "$WORK/log$RUNS" | sed 's/^/    /' || true
