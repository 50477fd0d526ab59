#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite: under
# AddressSanitizer + UndefinedBehaviorSanitizer, the run and HTTP tests under
# ThreadSanitizer, and finally the normal build's suite.
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   only the normal build's suite
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$root"

if [ "${1:-}" != "--quick" ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake --preset asan >/dev/null
  cmake --build build-asan -j"$jobs" >/dev/null
  ctest --preset asan -j"$jobs" --timeout 900 | tail -n 3

  echo "== ThreadSanitizer: runs and HTTP exchanges"
  cmake --preset tsan >/dev/null
  cmake --build build-tsan -j"$jobs" --target run_tests http_tests >/dev/null
  TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/run/run_tests | tail -n 2
  TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/http/http_tests | tail -n 2
fi

echo "== Test suite"
cd "$root/build"
ctest --output-on-failure -j"$jobs" --timeout 600
