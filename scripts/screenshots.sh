#!/usr/bin/env bash
# Renders the main window with each page at 765x550 and 1280x800 into
# docs/screenshots/ (main-<w>x<h>-page<n>.png), with the demo scenario open
# and, on the results pages, a batch run of it made by velkrun --cycle against
# the demo site; and the runner page during a run of it, its live panel on
# show (runner-live-<w>x<h>.png); and the recorder page after recording
# script requests (recorder-scripts.png).
# Runs under Xvfb when xvfb-run is there, else on Qt's offscreen platform.
# Usage: scripts/screenshots.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$root/docs/screenshots
cmake --build "$build" --target velk velkrun velk-demo-site runner_live_screenshot \
  results_screenshot verify_screenshot recorder_screenshot -j2 >/dev/null
mkdir -p "$out"
# A private settings directory: no tip of the day, no saved placement.
config=$(mktemp -d)
site=
trap '[ -n "$site" ] && kill "$site" 2>/dev/null; rm -rf "$config"' EXIT
export XDG_CONFIG_HOME=$config VELK_SCREENSHOTS=$out QTWEBENGINE_DISABLE_SANDBOX=1

# A batch run of the demo scenario (2 to 10 users) against the demo site.
"$build/demo/velk-demo-site" --port 0 --port-file "$config/port" &
site=$!
for _ in $(seq 50); do [ -s "$config/port" ] && break; sleep 0.1; done
(cd "$config" && "$build/cli/velkrun" --quiet --set nodetails=0 --results "$config/batch.rlt" \
   --cycle clients 2:10:2 "$root/examples/demo-shop.vts" -port="$(cat "$config/port")" >/dev/null)
export VELK_SCREENSHOT_RESULTS=$config/batch.rlt
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 1600x1000x24" "$build/gui/velk" "$root/examples/demo-shop.vts"
else
  QT_QPA_PLATFORM=offscreen "$build/gui/velk" "$root/examples/demo-shop.vts"
fi
# The runner page during a run of the demo scenario, live panel on show.
QT_QPA_PLATFORM=offscreen "$build/tests/runner/runner_live_screenshot" \
  "$build/demo/velk-demo-site" "$root/examples" "$out"
# The results pages with request names of 1 to 30 characters, and the
# Verify Scenario dialog at its width.
QT_QPA_PLATFORM=offscreen "$build/tests/runner/results_screenshot" "$out"
QT_QPA_PLATFORM=offscreen "$build/tests/recorder/verify_screenshot" "$out/verify-900.png"
# The recorder page after a single-page sign-in: its script requests in the
# list and the WebSocket it opened named below it.
QT_QPA_PLATFORM=offscreen "$build/tests/recorder/recorder_screenshot" "$out/recorder-scripts.png" spa
ls "$out"
