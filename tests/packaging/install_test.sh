#!/usr/bin/env bash
# `cmake --install` to a fresh prefix, then from there: velkrun and its manual
# page, and a C program built against the installed engine twice, through
# pkg-config and through the CMake package, each load-testing the installed
# demo site on 127.0.0.1.  Everything lives in a temporary directory.
#   install_test.sh BUILD-DIR TEST-SOURCE-DIR
set -euo pipefail
build=$1
here=$2
# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }

# The programs find the engine in ../lib without help from the environment.
"$prefix/bin/velkrun" --version | grep -q '^velkrun (VELK engine ' || fail "installed velkrun --version"
if command -v man >/dev/null; then
  MANWIDTH=80 man -P cat -l "$prefix/share/man/man1/velkrun.1.gz" 2>/dev/null | grep -q 'EXIT STATUS' ||
    fail "the installed manual page of velkrun"
fi

start_site "$prefix/bin/velk-demo-site" installed

# Through pkg-config, as `cc $(pkg-config --cflags --libs velkcore)`.
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir velkcore)
# shellcheck disable=SC2046  # pkg-config's flags are several words
cc -std=c99 -Wall -Werror -o "$work/embed-pc" "$here/embed_engine.c" \
  $(pkg-config --cflags --libs velkcore) -Wl,-rpath,"$libdir" || fail "building through pkg-config"
timeout 60 "$work/embed-pc" "$port" || fail "the program built through pkg-config"

# Through the CMake package: find_package(velkcore) and velkcore::velkcore.
mkdir "$work/cmake-src"
cp "$here/embed_engine.c" "$work/cmake-src/"
cat >"$work/cmake-src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.16)
project(embed C)
find_package(velkcore 2 REQUIRED)
add_executable(embed embed_engine.c)
target_link_libraries(embed PRIVATE velkcore::velkcore)
CMAKE
cmake -S "$work/cmake-src" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER_LAUNCHER= >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "find_package(velkcore)"; }
cmake --build "$work/cmake-build" >"$work/cmake.log" 2>&1 || { cat "$work/cmake.log"; fail "building through the CMake package"; }
timeout 60 "$work/cmake-build/embed" "$port" || fail "the program built through the CMake package"
echo "installed tree: velkrun, manual page, pkg-config and CMake package all work"
