#!/usr/bin/env bash
# Makes the Debian packages from the normal build (cpack) and checks them as
# apt, lintian and a user would: apt resolves every dependency from the archive
# (simulated, nothing is installed); the command-line package alone, on a
# machine where nothing is installed yet, pulls in no Qt and no desktop
# program, nor does the MPI package; lintian finds no error; unpacked into a
# temporary root with only the engine, the command-line package runs: its
# velkrun load-tests its demo site on 127.0.0.1 with its example, its manual
# pages read, the summary schema is where --help says; the desktop package's
# entry, AppStream data and file types pass their tools.  The machine is left
# as it was: only a temporary directory changes.
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

# Into the temporary directory, so that scripts/package.sh's files stay as they are.
(cd "$build" && cpack -G DEB -B "$work/debs") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb() { find "$work/debs" -maxdepth 1 -name "$1_*_amd64.deb" | head -n 1; }
for package in libvelkcore2 libvelkcore-dev velkrun; do
  [ -n "$(deb $package)" ] || { ls "$work/debs"; fail "no $package package"; }
done
debs=("$work"/debs/*.deb)
lib=$(deb libvelkcore2)
cli=$(deb velkrun)

# apt would install them all: every dependency resolves (a simulation changes nothing).
apt-get install --simulate --no-install-recommends "${debs[@]}" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log"; fail "apt-get install --simulate"; }
grep -q '^Inst velkrun ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt would not install velkrun"; }

# What each package pulls in on a machine that has nothing installed (an
# empty dpkg status): the command line no Qt and no desktop program, MPI no
# desktop program either.
: >"$work/empty-status"
closure() {
  apt-get install --simulate --no-install-recommends -o Dir::State::status="$work/empty-status" "$@" \
    >"$work/closure.log" 2>&1 || { cat "$work/closure.log"; fail "apt-get --simulate of ${*##*/} alone"; }
  sed -n 's/^Inst \([^ ]*\) .*/\1/p' "$work/closure.log"
}
closure "$lib" "$cli" >"$work/cli.closure"
grep -q '^velkrun$' "$work/cli.closure" || fail "apt would not install velkrun alone"
if grep -E '^(libqt6|qt6-|velk$|libopenmpi)' "$work/cli.closure"; then
  fail "installing velkrun alone pulls in the packages above"
fi
mpi=$(deb velkrun-mpi)
if [ -n "$mpi" ]; then
  closure "$lib" "$cli" "$mpi" >"$work/mpi.closure"
  grep -q '^libopenmpi' "$work/mpi.closure" || fail "velkrun-mpi does not pull in Open MPI"
  if grep -E '^(libqt6|qt6-|velk$)' "$work/mpi.closure"; then
    fail "installing velkrun-mpi pulls in the packages above"
  fi
fi
gui=$(deb velk)
if [ -n "$gui" ]; then
  [[ "$(dpkg-deb -f "$gui" Depends)" == *"velkrun (= "* ]] || fail "velk does not depend on velkrun"
fi
# The library package holds the versioned engine, the -dev package the link to build with.
dpkg-deb -c "$lib" >"$work/lib.contents"
dpkg-deb -c "$(deb libvelkcore-dev)" >"$work/dev.contents"
grep -q 'libvelkcore\.so\.2' "$work/lib.contents" || fail "no engine in libvelkcore2"
if grep -q 'libvelkcore\.so -> ' "$work/lib.contents"; then fail "the unversioned link is in libvelkcore2"; fi
grep -q 'libvelkcore\.so -> ' "$work/dev.contents" || fail "no libvelkcore.so in the -dev package"

if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "${debs[@]}" >"$work/lintian.log" 2>&1 || true
  if grep -q '^E: ' "$work/lintian.log"; then cat "$work/lintian.log"; fail "lintian errors"; fi
  grep '^W: ' "$work/lintian.log" || true
fi

# The command line with nothing but the engine.
root=$work/root
for deb in "$lib" "$cli"; do dpkg-deb -x "$deb" "$root"; done
export LD_LIBRARY_PATH=$root/usr/lib
"$root/usr/bin/velkrun" --version | grep -q '^velkrun (VELK engine ' || fail "packaged velkrun --version"
schema=$("$root/usr/bin/velkrun" --help | grep -o -m 1 '/usr/share/velk/[a-z-]*\.json' || true)
[ -n "$schema" ] && [ -f "$root$schema" ] || fail "velkrun --help names a schema the package does not hold: $schema"

start_site "$root/usr/bin/velk-demo-site" packaged
mkdir "$work/reports"
# 3 users, 1 round of the shop: a few seconds, bounded by timeout.
(cd "$work" && timeout 120 "$root/usr/bin/velkrun" --quiet "$root/usr/share/velk/examples/demo-shop.txt" \
   -port="$(cat "$work/port")" -users=3 -rounds=1 -reports="$work/reports" \
   --summary "$work/summary.json" --threshold 'errors<1') >"$work/run.log" 2>&1 ||
  { cat "$work/run.log"; fail "the packaged velkrun against the packaged demo site"; }
ls "$work/reports"/* >/dev/null 2>&1 || fail "no report written"
if python3 -c 'import jsonschema' 2>/dev/null; then
  python3 -c 'import json, sys, jsonschema
jsonschema.validate(json.load(open(sys.argv[1])), json.load(open(sys.argv[2])))' \
    "$work/summary.json" "$root$schema" || fail "the summary does not follow the packaged schema"
fi

# The desktop and MPI packages beside it, for their pages and desktop files.
for deb in "$gui" "$mpi"; do [ -z "$deb" ] || dpkg-deb -x "$deb" "$root"; done

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
echo "packages: ${debs[*]##*/} install, pass lintian and run; velkrun alone pulls in no Qt"
