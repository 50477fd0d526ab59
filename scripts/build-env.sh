# Sourced by the build scripts (with $root set): the compiler cache, outside the
# tree and shared by every clone and build directory, and Ninja for new build
# directories when it is installed.  Values already in the environment win.
# Sourced by hand, it finds the clone itself: without a base directory every
# clone would miss the others' entries.
root=${root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/velk-ccache}
# Paths under the clone are hashed relative to it, so another clone (CI makes a
# fresh one each run) hits the same entries.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}

# velk_generator DIR: prints "-G Ninja" when DIR is not configured yet and
# ninja is installed; an existing build directory keeps its generator.
velk_generator() {
  if [ ! -f "$1/CMakeCache.txt" ] && command -v ninja >/dev/null; then
    echo "-G Ninja"
  fi
}
