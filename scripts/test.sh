#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite: under
# AddressSanitizer + UndefinedBehaviorSanitizer, the concurrent parts (runs,
# event loops, connections, HTTP exchanges, the runner, script users) under
# ThreadSanitizer, and finally the normal build's suite, packages included.
# Every build goes through ccache (scripts/build-env.sh), so a second run after
# a small change recompiles only what changed.  Each stage's time is printed at the end.
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   only the normal build's suite
# The container image's test (label container: minutes of mmdebstrap) is left
# out of both: ctest --test-dir build -L container.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
# Most tests wait on sockets, timers and child programs rather than compute, so
# the suites run several tests per core; every test's margins allow for it.
test_jobs=$((jobs * 4))
logs=$(mktemp -d)
. "$root/scripts/build-env.sh"

stage_names=()
stage_seconds=()
started=$SECONDS
print_times() {
  local status=$? i
  # A stage failed while the package tests still run: their log goes with $logs.
  [ -z "${package_pid:-}" ] || wait "$package_pid" 2>/dev/null || true
  rm -rf "$logs"
  [ ${#stage_names[@]} -gt 0 ] || exit "$status"
  echo "== Stage times"
  for i in "${!stage_names[@]}"; do
    printf '  %-34s %3d:%02d\n' "${stage_names[$i]}" $((stage_seconds[i] / 60)) $((stage_seconds[i] % 60))
  done
  printf '  %-34s %3d:%02d\n' "total" $(((SECONDS - started) / 60)) $(((SECONDS - started) % 60))
  exit "$status"
}
trap print_times EXIT

# stage NAME COMMAND...: runs and times one stage; a failure ends the script.
stage() {
  local name=$1 t0=$SECONDS status=0
  shift
  "$@" || status=$?
  stage_names+=("$name")
  stage_seconds+=($((SECONDS - t0)))
  if [ "$status" -ne 0 ]; then
    stage_names[-1]="$name (FAILED)"
    return "$status"
  fi
}
# Runs a command quietly: its last lines when it passes, all of it when not.
quietly() {
  local log="$logs/$1"; shift
  if "$@" >"$log" 2>&1; then tail -n 3 "$log"; else cat "$log"; return 1; fi
}
# configure PRESET: a new build directory gets Ninja when it is installed.
configure() {
  # shellcheck disable=SC2046  # the generator option is one or two words
  cmake --preset "$1" $(velk_generator "$root/build-$1") >/dev/null
}
# The concurrent parts under ThreadSanitizer: the seven binaries run side by
# side (their tests mostly wait), each quietly; any failure fails the stage.
# The whole runs take as long as the others together, so they run as
# three shards.
tsan_tests() {
  local t pids=() status=0 pid shard
  for t in http/http_tests runner/runner_tests loop/velk_loop_tests net/velk_net_tests \
    scripting/scripting_tests scripting/script_heap_tests; do
    TSAN_OPTIONS="halt_on_error=1" quietly "tsan-${t%%/*}" "build-tsan/tests/$t" &
    pids+=($!)
  done
  for shard in 0 1 2; do
    GTEST_TOTAL_SHARDS=3 GTEST_SHARD_INDEX=$shard TSAN_OPTIONS="halt_on_error=1" \
      quietly "tsan-run-$shard" build-tsan/tests/run/run_tests &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  return "$status"
}

# The package tests (label package) are the normal suite's longest and wait
# mostly on cpack, apt, lintian and dpkg rather than compute, so they run in
# the background beside the sanitizer stages; the end waits for them and prints
# their own time.
package_pid=
start_package_tests() {
  (
    t0=$SECONDS status=0
    ctest --test-dir "$root/build" --output-on-failure -L package --timeout 600 \
      >"$logs/package" 2>&1 || status=$?
    echo "$status $((SECONDS - t0))" >"$logs/package.done"
  ) &
  package_pid=$!
}
finish_package_tests() {
  local status seconds
  wait "$package_pid" || true
  package_pid=
  read -r status seconds <"$logs/package.done" || { status=1 seconds=0; }
  stage_names+=("package tests (in background)")
  stage_seconds+=("$seconds")
  if [ "$status" -ne 0 ]; then
    stage_names[-1]="${stage_names[-1]} (FAILED)"
    cat "$logs/package"
    return 1
  fi
  tail -n 3 "$logs/package"
}

# The layering first: it needs no build and fails fast.  Then, once the
# packages are there, the format and the thread-safety rules (clang's tools).
stage "layers" "$root/scripts/check_layers.sh"
stage "packages" "$root/scripts/install-deps.sh"
stage "format" "$root/scripts/check_format.sh"
stage "thread safety" "$root/scripts/check_thread_safety.sh"
stage "build" "$root/scripts/build.sh"
cd "$root"

if [ "${1:-}" != "--quick" ]; then
  start_package_tests
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  stage "asan: build" eval 'configure asan && cmake --build build-asan -j"$jobs" >/dev/null'
  # Every test that runs our code; the source checks (label source_check) run
  # no code of ours, so the normal suite's run of them is enough.
  stage "asan: whole suite" quietly asan ctest --preset asan -j"$test_jobs" --timeout 900 \
    -LE source_check

  echo "== ThreadSanitizer: runs, event loops, connections, HTTP exchanges, the runner, script users"
  stage "tsan: build" eval 'configure tsan && cmake --build build-tsan -j"$jobs" --target run_tests http_tests runner_tests velk_loop_tests velk_net_tests scripting_tests script_heap_tests >/dev/null'
  stage "tsan: concurrent parts" tsan_tests
fi

echo "== Test suite"
if [ -n "${package_pid:-}" ]; then
  stage "suite" ctest --test-dir "$root/build" --output-on-failure -j"$test_jobs" --timeout 600 \
    -LE 'package|container'
  finish_package_tests
else
  stage "suite" ctest --test-dir "$root/build" --output-on-failure -j"$test_jobs" --timeout 600 \
    -LE container
fi
