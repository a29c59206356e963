#!/usr/bin/env bash
# Installs what is missing, builds (Release) and starts the editor:
#   ./run.sh [FILE]
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh >&2
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIMLORA_BENCH=OFF >/dev/null
cmake --build build-release -j "$(nproc)" --target pimlora pimlora-cli setupfetch >&2
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (DISPLAY is not set): the editor needs a graphical session." >&2
  echo "        Built: build-release/pimlora. Without a display, try build-release/pimlora-cli --help," >&2
  echo "        or run the editor in a virtual X server: xvfb-run -a build-release/pimlora [FILE]" >&2
  exit 2
fi
exec build-release/pimlora "$@"
