#!/usr/bin/env bash
# Runs scripts/check_layers.sh on small engine trees: a sound one passes, and an
# upward include, a missing link, a needless link or an unknown folder each fail
# with a message naming the place.
#   check_layers_test.sh path/to/check_layers.sh
set -uo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A sound tree: script includes base and links it; run includes script.
make_tree() {
  rm -rf "$work/engine"
  mkdir -p "$work/engine/base" "$work/engine/script" "$work/engine/run"
  printf '#pragma once\n' >"$work/engine/base/text.h"
  printf '#include "script/a.h"\n#include "base/text.h"\n#include <string>\n' >"$work/engine/script/a.cpp"
  printf '#include "script/a.h"\n' >"$work/engine/run/r.cpp"
  printf 'add_library(velk_base STATIC x.cpp)\n' >"$work/engine/base/CMakeLists.txt"
  printf 'add_library(velk_script STATIC a.cpp)\ntarget_link_libraries(velk_script PUBLIC\n  velk_base)\n' \
    >"$work/engine/script/CMakeLists.txt"
  printf 'add_library(velk_run STATIC r.cpp)\ntarget_link_libraries(velk_run PUBLIC velk_script)\n' \
    >"$work/engine/run/CMakeLists.txt"
}

# expect <name> <exit status wanted> <text the output must hold>
expect() {
  local out status
  out=$("$check" "$work/engine" 2>&1)
  status=$?
  if [ "$status" -ne "$2" ] || ! grep -qF -- "$3" <<<"$out"; then
    echo "FAIL $1: status $status, output:"
    echo "$out"
    failures=$((failures + 1))
  fi
}

make_tree
expect sound 0 "follow the layers"

make_tree
printf '#include "base/text.h"\n  #include "run/r.h"\n' >"$work/engine/script/b.h"
expect upward-include 1 "engine/script/b.h:2: engine/script includes \"run/...\", a layer above it"

make_tree
printf '#include "platform/clock.h"\n' >>"$work/engine/script/a.cpp"
expect missing-link 1 "engine/script includes \"platform/...\" but velk_script does not link velk_platform"

make_tree
printf 'target_link_libraries(velk_run PUBLIC velk_base)\n' >>"$work/engine/run/CMakeLists.txt"
expect needless-link 1 "velk_run links velk_base but engine/run includes nothing of it"

make_tree
mkdir -p "$work/engine/extra"
expect unknown-folder 1 "engine/extra is not in the layer list"

[ "$failures" -eq 0 ] && echo "check_layers: all cases behave"
exit "$failures"
