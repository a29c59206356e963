#!/usr/bin/env bash
# The installer download against curl, side by side from one loopback server
# (tests/update/servers.py, sending with sendfile), 200 MB by default.
#   bench/download.sh BUILD_DIR [MEGABYTES] [REPEATS]
set -euo pipefail
BUILD=${1:-build}
MB=${2:-200}
REPEATS=${3:-5}
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$WORK"' EXIT
mkdir -p "$WORK/www" "$WORK/ours" "$WORK/curl"
head -c "$((MB * 1000000))" /dev/urandom > "$WORK/www/setup_pimlora_631.exe"
( sleep 100000 ) | /usr/bin/python3 "$HERE/../tests/update/servers.py" --http-root "$WORK/www" > "$WORK/port" &
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
URL="http://127.0.0.1:$(sed 's/http=\([0-9]*\).*/\1/' "$WORK/port")/fast/setup_pimlora_631.exe"
echo "load: $(uptime)"
for _ in $(seq "$REPEATS"); do
    # Alternating, so both see the same machine.
    "$BUILD/bench/bench_download" "$URL" "$WORK/ours" 1
    curl -s -o "$WORK/curl/file" -w 'curl    %{speed_download} B/s  %{time_total} s\n' "$URL" |
        awk '{ printf "curl    %.1f MB/s  %.2f s\n", $2 / 1e6, $4 }'
    rm -f "$WORK/curl/file"
done
