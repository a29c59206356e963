#!/usr/bin/env bash
# Installs what is missing, builds everything, runs every test; then builds
# the core tests again with AddressSanitizer + UBSan and runs them too.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

JOBS=${JOBS:-$(nproc)}
status=0

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
(cd build && ctest --output-on-failure -j "$JOBS") || status=1

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPIMLORA_SANITIZE=ON \
      -DPIMLORA_CORE_ONLY=ON -DPIMLORA_BENCH=OFF >/dev/null
cmake --build build-asan -j "$JOBS"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$JOBS" -L core) || status=1

exit $status
