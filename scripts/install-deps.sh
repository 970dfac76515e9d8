#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Does nothing when they are all present; needs root (apt-get) otherwise.
set -euo pipefail
packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev
  libldap-dev slapd ldap-utils
  # The self-signed certificate of the private slapd with TLS (scripts/private-slapd.sh --tls).
  openssl
  # The batch run's machine-readable report (report.json).
  nlohmann-json3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev
  xvfb xauth imagemagick
  # The fuzz preset (scripts/fuzz.sh): clang 14 with libFuzzer and its sanitizer runtimes.
  clang libclang-rt-14-dev
  # Faces of the windows' font stacks (client/qt/tarrow_window.cpp, generator/qt/TarrowMgrFrm.cpp):
  # DejaVu Sans (Condensed), Nimbus Sans Narrow, Liberation Sans; fontconfig finds them.
  fontconfig fonts-dejavu-core fonts-dejavu-extra fonts-urw-base35 fonts-liberation2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
# The package may start the system's own directory service; the tests start a private one.
if command -v service >/dev/null 2>&1; then service slapd stop >/dev/null 2>&1 || true; fi
