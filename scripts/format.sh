#!/usr/bin/env bash
# Formats every C and C++ file of the repository with its .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i
