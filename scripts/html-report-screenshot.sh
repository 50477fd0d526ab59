#!/usr/bin/env bash
# Renders velkrun's HTML report of a demo-shop run against the demo site into
# docs/screenshots/html-report.png with headless Chromium (Debian `chromium`).
# Usage: scripts/html-report-screenshot.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$root/docs/screenshots
cmake --build "$build" --target velkrun velk-demo-site -j2 >/dev/null
work=$(mktemp -d)
site=
trap '[ -n "$site" ] && kill "$site" 2>/dev/null; rm -rf "$work"' EXIT

"$build/demo/velk-demo-site" --port 0 --port-file "$work/port" &
site=$!
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
# 20 shoppers started 300 ms apart, 8 rounds each: the users chart shows the
# ramp up and down.
(cd "$work" && "$build/cli/velkrun" --quiet --set delaystart=300 --html "$work/report.html" \
   --threshold 'p95<500' --threshold 'errors<1%' --threshold 'slow:p99<250' \
   "$root/examples/demo-shop.txt" -port="$(cat "$work/port")" -users=20 -rounds=8 -reports= ) || true
chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/profile" \
  --hide-scrollbars --window-size=1280,1560 --screenshot="$out/html-report.png" \
  "file://$work/report.html" 2>/dev/null
ls -l "$out/html-report.png"
