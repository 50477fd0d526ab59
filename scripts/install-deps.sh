#!/usr/bin/env bash
# Installs the Debian 12 packages VELK needs to build and test.  Run as root.
set -euo pipefail
packages=(build-essential cmake pkg-config libssl-dev openssl googletest libgtest-dev libgmock-dev locales duktape-dev qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth qt6-webengine-dev libqt6webenginecore6-bin)
# A font for the text of charts drawn without a display (graph tests and pictures).
packages+=(fonts-dejavu-core)
# Open MPI: velkrun-mpi and its tests (distributed runs).
packages+=(openmpi-bin libopenmpi-dev)
# velkrun's HTML report is loaded in a real browser, its JSON summary checked
# against its schema.
packages+=(chromium python3-jsonschema)
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
# A comma-decimal locale, so the tests can check that numbers follow the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
