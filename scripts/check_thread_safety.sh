#!/usr/bin/env bash
# Checks the thread-safety annotations (GUARDED_BY, REQUIRES, ...) with clang's
# analysis: every engine source that reaches base/mutex.h or
# base/thread_annotations.h, directly or through engine headers, and every
# application-core source that reaches them (as engine/base/...), is compiled
# syntax-only with -Wthread-safety -Werror.  Exits non-zero on any finding.
# Usage: scripts/check_thread_safety.sh   (from anywhere; CXX_CLANG overrides clang++)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
clang=${CXX_CLANG:-}
if [[ -z $clang ]]; then
    for c in clang++ clang++-14; do
        if command -v "$c" >/dev/null; then clang=$c; break; fi
    done
fi
[[ -n $clang ]] || { echo "check_thread_safety: clang++ not found" >&2; exit 2; }

# The annotated headers, grown until no engine header includes one more of them.
annotated=(base/thread_annotations.h base/mutex.h)
while :; do
    pattern=$(printf '#include "%s"\\|' "${annotated[@]}")
    pattern=${pattern%\\|}
    mapfile -t more < <(grep -rl --include='*.h' -e "$pattern" engine | sed 's|^engine/||' | sort)
    grown=$(printf '%s\n' "${annotated[@]}" "${more[@]}" | sort -u)
    if [[ $grown == "$(printf '%s\n' "${annotated[@]}" | sort -u)" ]]; then break; fi
    mapfile -t annotated <<<"$grown"
done
pattern=$(printf '#include "%s"\\|' "${annotated[@]}")
pattern=${pattern%\\|}
mapfile -t sources < <(grep -rl --include='*.cpp' -e "$pattern" engine | sort)
# The application core names the primitives by their folder.
mapfile -t app_headers < <(grep -rlE --include='*.h' \
    '#include "engine/base/(mutex|cond_var|thread_annotations)\.h"' app | sort)
app_pattern='#include "engine/base/\(mutex\|cond_var\|thread_annotations\)\.h"'
for h in "${app_headers[@]}"; do app_pattern+="\\|#include \"$h\""; done
mapfile -t -O "${#sources[@]}" sources < <(grep -rl --include='*.cpp' -e "$app_pattern" app | sort)
if [[ ${#sources[@]} -eq 0 ]]; then
    echo "check_thread_safety: no annotated sources" >&2
    exit 2
fi

# The sources of one folder are checked together, as the build compiles them:
# most of a check's time goes to the headers they share.
units=$(mktemp -d)
trap 'rm -rf "$units"' EXIT
for source in "${sources[@]}"; do
    unit=$units/$(dirname "$source" | tr / _).cpp
    printf '#include "%s"\n' "$root/$source" >>"$unit"
done
if ! printf '%s\0' "$units"/*.cpp |
    xargs -0 -n 1 -P 2 "$clang" -std=c++20 -fsyntax-only -Wthread-safety -Werror \
        -I. -Iengine -Iinclude; then
    echo "check_thread_safety: findings above" >&2
    exit 1
fi
echo "check_thread_safety: ${#sources[@]} sources clean"
