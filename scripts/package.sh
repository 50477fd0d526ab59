#!/usr/bin/env bash
# Makes the Debian packages from the normal build (scripts/build.sh, build/):
#   build/velk_<version>_amd64.deb      velk, velkrun, velk-demo-site, libvelkcore
#                                       with velkcore.h, pkg-config and CMake files
#   build/velk-mpi_<version>_amd64.deb  velkrun-mpi (when Open MPI is installed)
# Their dependencies come from the binaries (dpkg-shlibdeps).  lintian checks
# them when installed: an error fails, warnings are shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
"$root/scripts/build.sh" >/dev/null
(cd "$build" && cpack -G DEB | grep 'package: ')
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
debs=("$build/velk_${version}_amd64.deb")
[ -f "$build/velk-mpi_${version}_amd64.deb" ] && debs+=("$build/velk-mpi_${version}_amd64.deb")
if command -v lintian >/dev/null; then
  if lintian "${debs[@]}" | tee /dev/stderr | grep -q '^E: '; then
    echo "lintian found errors" >&2
    exit 1
  fi
fi
