#!/usr/bin/env bash
# Renders the main window with each page at 765x550 and 1280x800 into
# docs/screenshots/ (main-<w>x<h>-page<n>.png), with the demo scenario open.
# Runs under Xvfb when xvfb-run is there, else on Qt's offscreen platform.
# Usage: scripts/screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out=$root/docs/screenshots
cmake --build "$build" --target velk -j2 >/dev/null
mkdir -p "$out"
# A private settings directory: no tip of the day, no saved placement.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
export XDG_CONFIG_HOME=$config VELK_SCREENSHOTS=$out QTWEBENGINE_DISABLE_SANDBOX=1
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build/gui/velk" "$root/examples/demo-shop.vts"
else
  QT_QPA_PLATFORM=offscreen "$build/gui/velk" "$root/examples/demo-shop.vts"
fi
ls "$out"
