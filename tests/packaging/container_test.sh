#!/usr/bin/env bash
# The container image of velkrun: scripts/container.sh makes it from the
# command-line packages of this build (cpack into a temporary directory), then
# podman runs it: --version, and a real run against the demo site on the
# host's loopback (--network=host) that leaves its JSON summary in a mounted
# folder, written by the image's user, not root.  Prints the image's size and
# the time the image took.  The image velkrun:<version> stays (it is what
# scripts/container.sh makes); nothing else on the machine changes.
# Exit 77 (skipped) without root, podman or mmdebstrap, or when podman cannot
# start a container on this machine (the reason is printed).
#   container_test.sh SOURCE-DIR BUILD-DIR DEMO-SITE
set -euo pipefail
src=$1
build=$(cd "$2" && pwd)
demo_site=$3
for tool in podman mmdebstrap cpack python3; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool (scripts/install-deps.sh installs it)"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "skipped: mmdebstrap and podman run as root here"; exit 77; }
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"

(cd "$build" && cpack -G DEB -B "$work/debs" -D CPACK_COMPONENTS_ALL="libvelkcore;velkrun") \
  >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
timeout 900 "$src/scripts/container.sh" "$work/debs" >"$work/image.log" 2>&1 ||
  { cat "$work/image.log"; fail "scripts/container.sh"; }
cat "$work/image.log"
image=$(sed -n 's/^\(velkrun:[^:]*\): .*/\1/p' "$work/image.log")
[ "$(podman image inspect --format '{{.Config.User}}' "$image")" = "10001:10001" ] || fail "the image does not run as user 10001"

# Where root may not raise its limits (no CAP_SYS_RESOURCE), podman's default
# limits for a container (nofile and nproc 1048576) fail; crun 1.8 refuses a
# machine whose cgroup v2 hierarchy holds a controller beside v1 (hybrid mode)
# where runc does not.  Each is met by what the machine allows, and said.
flags=()
try_run() { timeout 120 podman run --rm "${flags[@]}" "$image" --version >"$work/version.txt" 2>&1; }
for _ in 1 2 3; do
  try_run && break
  if grep -q 'setrlimit' "$work/version.txt" && [ "${#flags[@]}" -eq 0 ]; then
    echo "note: podman cannot raise the container's limits here ($(grep -o 'setrlimit[^:]*: Operation not permitted' "$work/version.txt" | head -n 1)): running with the machine's own"
    flags+=(--ulimit "nofile=$(ulimit -Hn):$(ulimit -Hn)" --ulimit nproc=4096:4096)
  elif grep -q 'cgroups in hybrid mode not supported' "$work/version.txt" && command -v runc >/dev/null &&
    [[ " ${flags[*]} " != *" runc "* ]]; then
    echo "note: crun refuses this machine's cgroups (hybrid v1/v2 with a v2 controller): running with runc"
    flags+=(--runtime runc)
  else
    break
  fi
done
if ! grep -q '^velkrun (VELK engine ' "$work/version.txt"; then
  cat "$work/version.txt"
  if grep -q -e 'OCI runtime' -e 'OCI permission denied' "$work/version.txt"; then
    echo "skipped: podman cannot start a container on this machine: $(grep -m1 -o 'Error: .*' "$work/version.txt")"
    exit 77
  fi
  fail "podman run --rm $image --version"
fi
echo "podman run --rm ${flags[*]} $image --version: $(cat "$work/version.txt")"

# A real run from the image against the demo site on the host's loopback, its
# figures written into a mounted folder that only the image's user may write.
start_site "$demo_site" "build's"
mkdir -m 0700 "$work/results"
chown 10001:10001 "$work/results"
timeout 180 podman run --rm "${flags[@]}" --network=host -v "$work/results:/results" "$image" \
  --quiet /usr/share/velk/examples/demo-shop.txt -port="$port" -users=3 -rounds=1 \
  --summary /results/summary.json --threshold 'errors<1' >"$work/run.log" 2>&1 ||
  { cat "$work/run.log"; fail "velkrun in the container against the demo site"; }
[ -f "$work/results/summary.json" ] || { ls -la "$work/results"; fail "no summary in the mounted folder"; }
[ "$(stat -c %u "$work/results/summary.json")" = 10001 ] || fail "the summary was not written by the image's user"
python3 - "$work/results/summary.json" <<'PY' || fail "the summary written in the container"
import json, sys
s = json.load(open(sys.argv[1]))
assert s["test"]["users"] == 3 and s["overall"]["count"] > 0 and s["overall"]["errors"]["total"] == 0, s["overall"]
print(f"summary in the mounted folder: {s['overall']['count']} responses from 3 users, no error")
PY
