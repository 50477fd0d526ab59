#!/usr/bin/env bash
# The main job, first thing on a fresh machine: install only what the engine,
# velkrun and the demo site need, build only those (no desktop program, no
# tests), start the demo site, load-test it with the bundled example (10 users),
# print the report and stop the demo site.  scripts/build.sh builds the rest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
"$root/scripts/install-deps.sh" --minimal
. "$root/scripts/build-env.sh"
# A build directory made before (by scripts/build.sh) keeps its settings.  A
# new one is optimised as usual but without debug information, which takes a
# quarter of the compile time; scripts/build.sh later makes it RelWithDebInfo.
if [ ! -f "$build/CMakeCache.txt" ]; then
  # shellcheck disable=SC2046  # the generator option is one or two words
  cmake -S "$root" -B "$build" $(velk_generator "$build") -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DVELK_WERROR=ON -DVELK_BUILD_GUI=OFF -DVELK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target velkrun velk-demo-site

work=$(mktemp -d)
demo_pid=
cleanup() {
  [ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null && wait "$demo_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build/demo/velk-demo-site" --port 0 --port-file "$work/port" >"$work/demo.log" 2>&1 &
demo_pid=$!
for _ in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "the demo site did not start:"; cat "$work/demo.log"; exit 1; }
port=$(cat "$work/port")
echo "Demo site listening on 127.0.0.1:$port"

"$build/cli/velkrun" --check "$root/examples/demo-shop.txt" -port="$port" >/dev/null
"$build/cli/velkrun" "$root/examples/demo-shop.txt" -port="$port" -reports="$work" --report
