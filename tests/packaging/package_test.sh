#!/usr/bin/env bash
# Makes the Debian packages from the normal build (cpack) and checks them as
# apt, lintian and a user would: apt resolves every dependency from the archive
# (simulated, nothing is installed), lintian finds no error, and unpacked into
# a temporary root the packaged velkrun runs, load-tests the packaged demo site
# on 127.0.0.1 with the packaged example, and its manual pages read; the
# desktop entry, AppStream data and file types pass their tools.  The machine
# is left as it was: only the build directory and a temporary directory change.
# Exit 77 (skipped) when not root or without dpkg, apt or cpack.
#   package_test.sh BUILD-DIR
set -euo pipefail
build=$(cd "$1" && pwd)
for tool in dpkg-deb dpkg-shlibdeps apt-get cpack; do
  command -v "$tool" >/dev/null || { echo "skipped: no $tool"; exit 77; }
done
[ "$(id -u)" -eq 0 ] || { echo "skipped: apt-get --simulate needs root here"; exit 77; }

# shellcheck source=common.sh
. "$(dirname "$0")/common.sh"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
debs=()
for deb in "$build"/velk_"$version"_amd64.deb "$build"/velk-mpi_"$version"_amd64.deb; do
  [ -f "$deb" ] && debs+=("$deb")
done
[ -f "$build/velk_${version}_amd64.deb" ] || fail "no velk_${version}_amd64.deb"

# apt would install them: every dependency resolves (a simulation changes nothing).
apt-get install --simulate --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install --simulate"; }
grep -q '^Inst velk ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt would not install velk"; }

if command -v lintian >/dev/null; then
  lintian --no-tag-display-limit "${debs[@]}" >"$work/lintian.log" 2>&1 || true
  if grep -q '^E: ' "$work/lintian.log"; then cat "$work/lintian.log"; fail "lintian errors"; fi
  grep '^W: ' "$work/lintian.log" || true
fi

root=$work/root
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$root"; done
export LD_LIBRARY_PATH=$root/usr/lib
"$root/usr/bin/velkrun" --version | grep -q '^velkrun (VELK engine ' || fail "packaged velkrun --version"

start_site "$root/usr/bin/velk-demo-site" packaged
mkdir "$work/reports"
# 3 users, 1 round of the shop: a few seconds, bounded by timeout.
(cd "$work" && timeout 120 "$root/usr/bin/velkrun" --quiet "$root/usr/share/velk/examples/demo-shop.txt" \
   -port="$(cat "$work/port")" -users=3 -rounds=1 -reports="$work/reports" \
   --summary "$work/summary.json" --threshold 'errors<1') >"$work/run.log" 2>&1 ||
  { cat "$work/run.log"; fail "the packaged velkrun against the packaged demo site"; }
ls "$work/reports"/* >/dev/null 2>&1 || fail "no report written"

if command -v man >/dev/null; then
  for page in "$root"/usr/share/man/man[1-9]/*.gz; do
    MANWIDTH=80 man -P cat -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man -l $page"
    grep -q '^NAME' "$work/man.txt" || fail "no NAME in $page"
    [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "warnings from man -l $page"; }
  done
  grep -q 'EXIT STATUS' < <(MANWIDTH=80 man -P cat -l "$root/usr/share/man/man1/velkrun.1.gz") ||
    fail "velkrun(1) has no EXIT STATUS"
  grep -q 'GENERAL OPTIONS' < <(MANWIDTH=80 man -P cat -l "$root/usr/share/man/man5/velk-script.5.gz") ||
    fail "velk-script(5) is not packaged or has no GENERAL OPTIONS"
fi

# The desktop files, when the package has the desktop program.
if [ -x "$root/usr/bin/velk" ]; then
  if command -v desktop-file-validate >/dev/null; then
    for entry in "$root"/usr/share/applications/*.desktop; do
      desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
    done
  fi
  if command -v appstreamcli >/dev/null; then
    for info in "$root"/usr/share/metainfo/*.xml; do
      appstreamcli validate --no-net --pedantic "$info" || fail "appstreamcli validate $info"
    done
  fi
  if command -v update-mime-database >/dev/null; then
    mkdir -p "$work/mime"
    cp -r "$root/usr/share/mime/packages" "$work/mime/"
    update-mime-database "$work/mime" >"$work/mime.log" 2>&1 || { cat "$work/mime.log"; fail "update-mime-database"; }
    grep -q ':\*\.vts$' "$work/mime/globs2" && grep -q ':\*\.rlt$' "$work/mime/globs2" ||
      fail "the .vts and .rlt file types are not registered"
    grep -q "$(sed -n 's/^MimeType=\([^;]*\);.*/\1/p' "$root"/usr/share/applications/*.desktop)" \
      "$work/mime/globs2" || fail "the desktop entry names a file type the package does not define"
  fi
fi
echo "packages: ${debs[*]##*/} install, pass lintian and run"
