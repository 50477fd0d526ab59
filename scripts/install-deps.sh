#!/usr/bin/env bash
# Installs the Debian 12 packages VELK needs.  Run as root.
#   scripts/install-deps.sh             everything: build, desktop program, tests, packages
#   scripts/install-deps.sh --minimal   only what the engine, velkrun and the demo
#                                       site need (scripts/run-example.sh)
set -euo pipefail
set_name=${1:---all}
case $set_name in
  --all | --minimal) ;;
  *) echo "usage: $0 [--all | --minimal]" >&2; exit 2 ;;
esac

# The engine, velkrun and the demo site; ccache and Ninja make rebuilds short.
packages=(build-essential cmake pkg-config libssl-dev duktape-dev ninja-build ccache)
# HTTP/2 framing, HPACK and flow control.
packages+=(libnghttp2-dev)
if [ "$set_name" = --all ]; then
  packages+=(openssl googletest libgtest-dev libgmock-dev locales)
  # The desktop program: Qt 6 Widgets and, for the recorder, Qt WebEngine.
  packages+=(qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth qt6-webengine-dev libqt6webenginecore6-bin)
  # A font for the text of charts drawn without a display (graph tests and pictures).
  packages+=(fonts-dejavu-core)
  # Open MPI: velkrun-mpi and its tests (distributed runs).
  packages+=(openmpi-bin libopenmpi-dev)
  # velkrun's HTML report is loaded in a real browser, its JSON summary checked
  # against its schema.
  packages+=(chromium python3-jsonschema)
  # A second real web framework for the recorder's proposals: a Flask app
  # with Flask-WTF's CSRF-protected login form, started by a test on loopback.
  packages+=(python3-flask python3-flaskext.wtf)
  # The Debian packages and what checks them: dependencies from the binaries
  # (dpkg-shlibdeps, file), lintian, the manual pages, the desktop entry, the
  # file types and the AppStream data.
  packages+=(dpkg-dev file lintian man-db groff-base desktop-file-utils shared-mime-info appstream)
  # The container image of velkrun (scripts/container.sh and its test): a
  # Debian root made from the machine's own mirror, imported and run by
  # podman; runc where crun cannot start containers (hybrid cgroups).
  packages+=(podman mmdebstrap runc)
  # The Kubernetes example's manifests are read by its test.
  packages+=(python3-yaml)
  # Style and thread-safety rules are checked by clang's tools.
  packages+=(clang clang-format)
  # Real HTTP/2 servers for the tests and benchmarks (nginx over TLS and h2c,
  # nghttpd in h2c) and h2load to compare with.
  packages+=(nginx-light nghttp2-server nghttp2-client)
  # A real Prometheus scrapes velkrun --metrics in a test, whose answers are
  # checked against the run's JSON summary.
  packages+=(prometheus)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ "$set_name" = --all ] || exit 0
# A comma-decimal locale, so the tests can check that numbers follow the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
