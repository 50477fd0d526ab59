#!/usr/bin/env bash
# Runs scripts/check_layers.sh on small trees: a sound one passes, and an
# upward include, a missing link, a needless link, an unknown folder, or a ring
# that reaches into another each fail with a message naming the place.
#   check_layers_test.sh path/to/check_layers.sh
set -uo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A sound tree: script includes base and links it; run includes script.
make_tree() {
  rm -rf "$work/engine" "$work/app" "$work/cli" "$work/gui"
  mkdir -p "$work/engine/base" "$work/engine/script" "$work/engine/run"
  mkdir -p "$work/app/base" "$work/app/scenario" "$work/app/runner" "$work/cli" "$work/gui/runner"
  printf '#include "app/base/file_io.h"\n#include "velkcore.h"\n#include <string>\n' \
    >"$work/app/scenario/scenario.cpp"
  printf '#include "app/scenario/scenario.h"\n' >"$work/app/runner/runner.cpp"
  printf '#include "cli/run_command.h"\n#include "app/runner/runner.h"\n#include "engine/base/status.h"\n' \
    >"$work/cli/main.cpp"
  printf '#include "gui/runner/page.h"\n#include "app/runner/runner.h"\n#include <QWidget>\n' \
    >"$work/gui/runner/page.cpp"
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
  out=$("$check" "$work" 2>&1)
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

# ring, file, line to add, message wanted
while IFS='|' read -r name file text message; do
  make_tree
  printf '%s\n' "$text" >>"$work/$file"
  expect "$name" 1 "$message"
done <<'CASES'
engine-includes-app|engine/run/r.cpp|#include "app/runner/runner.h"|engine/run/r.cpp:2: the engine includes "app/runner/runner.h", a ring above it
app-includes-gui|app/runner/runner.cpp|#include "gui/runner/page.h"|app/runner/runner.cpp:2: the application core includes "gui/runner/page.h" of a host
app-layer-upward|app/scenario/scenario.cpp|#include "app/runner/runner.h"|app/scenario/scenario.cpp:4: app/scenario includes "app/runner/runner.h", a layer above it
app-uses-qt|app/runner/runner.cpp|#include <QString>|app/runner/runner.cpp:2: the application core includes Qt
cli-includes-gui|cli/main.cpp|#include "gui/runner/page.h"|cli/main.cpp:4: velkrun includes "gui/runner/page.h" of the desktop program
gui-includes-cli|gui/runner/page.cpp|#include "cli/run_command.h"|gui/runner/page.cpp:4: the desktop program includes "cli/run_command.h" of velkrun
host-reaches-engine|cli/main.cpp|#include "http/status_line.h"|cli/main.cpp:4: cli/ includes the engine's "http/status_line.h"; only velkcore.h and the header-only base are public
app-reaches-engine-base|app/runner/runner.cpp|#include "engine/base/message.h"|app/runner/runner.cpp:2: app/ includes the engine's "engine/base/message.h"; only velkcore.h and the header-only base are public
unqualified|gui/runner/page.cpp|#include "runner.h"|gui/runner/page.cpp:4: "runner.h" does not name its folder
CASES

[ "$failures" -eq 0 ] && echo "check_layers: all cases behave"
exit "$failures"
