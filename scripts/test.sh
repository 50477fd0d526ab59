#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite: under
# AddressSanitizer + UndefinedBehaviorSanitizer, the run and HTTP tests under
# ThreadSanitizer, and finally the normal build's suite.
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   only the normal build's suite
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Runs a command quietly: its last lines when it passes, all of it when not.
quietly() {
  local log="$logs/$1"; shift
  if "$@" >"$log" 2>&1; then tail -n 3 "$log"; else cat "$log"; return 1; fi
}
# The engine's layering first: it needs no build and fails fast.
"$root/scripts/check_layers.sh"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root"

if [ "${1:-}" != "--quick" ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build build-asan -j"$jobs" >/dev/null
  quietly asan ctest --preset asan -j"$jobs" --timeout 900

  echo "== ThreadSanitizer: runs, event loops and HTTP exchanges"
  cmake --preset tsan >/dev/null
  cmake --build build-tsan -j"$jobs" --target run_tests http_tests runner_tests velk_loop_tests velk_net_tests >/dev/null
  TSAN_OPTIONS="halt_on_error=1" quietly tsan-run build-tsan/tests/run/run_tests
  TSAN_OPTIONS="halt_on_error=1" quietly tsan-http build-tsan/tests/http/http_tests
  TSAN_OPTIONS="halt_on_error=1" quietly tsan-runner build-tsan/tests/runner/runner_tests
  TSAN_OPTIONS="halt_on_error=1" quietly tsan-loop build-tsan/tests/loop/velk_loop_tests
  TSAN_OPTIONS="halt_on_error=1" quietly tsan-net build-tsan/tests/net/velk_net_tests
fi

echo "== Test suite"
cd "$root/build"
ctest --output-on-failure -j"$jobs" --timeout 600
