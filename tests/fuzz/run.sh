#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60) on its seed corpus:
#   tests/fuzz/run.sh [SECONDS] [TARGET ...]
# Without targets, all run one after the other.  Needs Debian's clang.
# Each runs with a memory limit (-rss_limit_mb, -malloc_limit_mb): an input
# that makes a reader allocate far beyond its own size fails the run.  The
# corpus folders hold seeds and the regression inputs of faults once found.
set -euo pipefail
seconds=${1:-60}
shift || true
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
all=(parse_test_fuzzer regex_fuzzer response_fuzzer header_scan_fuzzer html_fuzzer vts_loader_fuzzer
  rlt_loader_fuzzer shard_fuzzer)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${all[@]}")
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELK_BUILD_TESTS=OFF -DVELK_BUILD_FUZZERS=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
for target in "${targets[@]}"; do
  corpus="$root/tests/fuzz/corpus/${target%_fuzzer}"
  work="$build/corpus-${target%_fuzzer}"
  mkdir -p "$work"
  echo "== $target for ${seconds}s"
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 "$work" "$corpus"
done
