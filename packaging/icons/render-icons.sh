#!/usr/bin/env bash
# Renders velk.svg into the PNG sizes of the hicolor theme beside it
# (velk-<size>.png).  The PNGs are committed, so building needs no renderer;
# run this after changing the SVG (needs rsvg-convert, Debian librsvg2-bin).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$here/velk.svg" -o "$here/velk-$size.png"
done
