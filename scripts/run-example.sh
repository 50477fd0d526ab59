#!/usr/bin/env bash
# The main job: install what is needed, build, start the demo site, load-test it
# with the bundled example (10 users), print the report and stop the demo site.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"

work=$(mktemp -d)
demo_pid=
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null && wait "$demo_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$root/build/demo/velk-demo-site" --port 0 --port-file "$work/port" >"$work/demo.log" 2>&1 &
demo_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "the demo site did not start:"; cat "$work/demo.log"; exit 1; }
port=$(cat "$work/port")
echo "Demo site listening on 127.0.0.1:$port"

"$root/build/cli/velkrun" --check "$root/examples/demo-shop.txt" -port="$port" >/dev/null
"$root/build/cli/velkrun" "$root/examples/demo-shop.txt" -port="$port" -reports="$work" --report
