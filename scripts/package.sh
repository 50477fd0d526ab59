#!/usr/bin/env bash
# Makes the Debian packages, split by what a machine needs:
#   libvelkcore2      the engine
#   libvelkcore-dev   its header, pkg-config file and CMake package
#   velkrun           velkrun, velk-demo-site, manual pages, completion, examples
#   velk              the desktop program (needs Qt)
#   velkrun-mpi       velkrun-mpi (when Open MPI is installed)
#
#   scripts/package.sh         from the normal build (build/, made by
#                              scripts/build.sh when it is not there yet)
#   scripts/package.sh --cli   only the engine and the command line, without Qt
#                              or the tests, in build-cli/: a CI job's packages
#
# The .deb files are left in the build directory and listed.  Their
# dependencies come from the binaries (dpkg-shlibdeps).  lintian checks them
# when installed: an error fails, warnings are shown.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case ${1:-} in
  "")
    build=$root/build
    if [ -f "$build/CMakeCache.txt" ]; then
      cmake --build "$build" -j"$(nproc)" >/dev/null
    else
      "$root/scripts/build.sh" >/dev/null
    fi
    ;;
  --cli)
    build=$root/build-cli
    . "$root/scripts/build-env.sh"
    # shellcheck disable=SC2046  # the generator option is one or two words
    cmake -S "$root" -B "$build" $(velk_generator "$build") -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELK_WERROR=ON -DVELK_BUILD_GUI=OFF -DVELK_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build" -j"$(nproc)" >/dev/null
    ;;
  *)
    echo "usage: $0 [--cli]" >&2
    exit 2
    ;;
esac
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB) >"$build/cpack.log" 2>&1 || { cat "$build/cpack.log" >&2; exit 1; }
debs=("$build"/*.deb)
printf '%s\n' "${debs[@]}"
if command -v lintian >/dev/null; then
  if lintian "${debs[@]}" | tee /dev/stderr | grep -q '^E: '; then
    echo "lintian found errors" >&2
    exit 1
  fi
fi
