#!/usr/bin/env bash
# The main job: install what is needed, build, and check the bundled example test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
"$root/build/cli/velkrun" --check "$root/examples/hello.txt" -host=127.0.0.1
