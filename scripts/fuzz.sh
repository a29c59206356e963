#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
#   scripts/fuzz.sh TARGET SECONDS     e.g. scripts/fuzz.sh fuzz_bmp 600
# Seeds come from fuzz/seeds/TARGET (committed); the working corpus and any
# crash files go to fuzz-out/TARGET (not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: scripts/fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1 seconds=$2
./scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPIMLORA_FUZZ=ON -DPIMLORA_SANITIZE=ON -DPIMLORA_CORE_ONLY=ON -DPIMLORA_BENCH=OFF >/dev/null
cmake --build build-fuzz --target "$target"
out=fuzz-out/$target
mkdir -p "$out/corpus"
seeds=()
[ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
  "build-fuzz/fuzz/$target" -max_total_time="$seconds" -rss_limit_mb=2560 -malloc_limit_mb=2048 \
  -timeout=10 -artifact_prefix="$out/" -print_final_stats=1 "$out/corpus" "${seeds[@]}"
