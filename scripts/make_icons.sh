#!/usr/bin/env bash
# Renders the application icon's PNG sizes from its drawing, data/icons/pimlora.svg
# (needs rsvg-convert from librsvg2-bin). The PNGs are kept in the tree.
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for s in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w $s -h $s pimlora.svg -o pimlora-$s.png
done
