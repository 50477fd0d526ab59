#!/usr/bin/env bash
# Configures and builds all of VELK into build/ (warnings are errors): the
# engine, velkrun, velkrun-mpi, the desktop program, the demo site, the manual
# pages and the test suite.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/build-env.sh"
# shellcheck disable=SC2046  # the generator option is one or two words
cmake -S "$root" -B "$root/build" $(velk_generator "$root/build") -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELK_WERROR=ON -DVELK_BUILD_GUI=ON -DVELK_BUILD_TESTS=ON >/dev/null
cmake --build "$root/build" -j"$(nproc)"
