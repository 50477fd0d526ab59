#!/usr/bin/env bash
# Builds the fuzz targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 60) on its seed corpus.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build-fuzz"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELK_BUILD_TESTS=OFF -DVELK_BUILD_FUZZERS=ON \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j"$(nproc)" --target parse_test_fuzzer regex_fuzzer
for target in parse_test_fuzzer regex_fuzzer; do
  corpus="$root/tests/fuzz/corpus/${target%_fuzzer}"
  work="$root/build-fuzz/corpus-${target%_fuzzer}"
  mkdir -p "$work"
  echo "== $target for ${seconds}s"
  "$build/tests/fuzz/$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 "$work" "$corpus"
done
