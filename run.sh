#!/usr/bin/env bash
# Installs what is missing, builds (Release) and runs the program.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh >&2
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIMLORA_BENCH=OFF >/dev/null
cmake --build build-release -j "$(nproc)" >&2
if [ $# -ge 1 ]; then
  exec build-release/pimlora-cli info "$@"
fi
exec build-release/pimlora-cli --help
