#!/usr/bin/env bash
# Fails when a C or C++ file of the repository differs from what clang-format
# makes of it with the repository's .clang-format: style is checked by the
# tool, not argued about in review.  scripts/format.sh applies it.
#   scripts/check_format.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || { echo "check_format: clang-format not found" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "check_format: the files above differ from .clang-format (scripts/format.sh mends them)" >&2
  exit 1
fi
echo "check_format: ${#files[@]} files follow .clang-format"
