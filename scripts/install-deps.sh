#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Does nothing when they are all present; needs root (apt-get) otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  # Comments here hold no parentheses: the array ends at the first closing one for some readers.
  # Build and format
  g++ cmake ninja-build pkg-config clang-format
  # Qt, options, JSON: nlohmann-json for report.json, CLI11 for every command line
  qt6-base-dev libgl-dev libcli11-dev nlohmann-json3-dev
  # Directory: libldap, a private slapd, openssl for its self-signed certificate, jq in the run scripts
  libldap-dev slapd ldap-utils openssl jq
  # Tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # Window tests and screenshots under Xvfb
  xvfb xauth imagemagick
  # Faces of both windows' font stacks in client/qt/tarrow_window.cpp and generator/qt/TarrowMgrFrm.cpp:
  # DejaVu Sans and DejaVu Sans Condensed, Nimbus Sans Narrow, Liberation Sans; fontconfig finds them
  fontconfig fonts-dejavu-core fonts-dejavu-extra fonts-urw-base35 fonts-liberation2
  # The fleet of scripts/fleet.sh: network namespaces, bridge, veth and ss; pkill
  iproute2 procps
  # The fuzz preset of scripts/fuzz.sh: clang 14 with libFuzzer and its sanitizer runtimes
  clang libclang-rt-14-dev
  # Report pages: the charting library inlined into report.html, the live view's HTTP server and
  # what its headers need, Chromium and Node.js for the page tests
  libjs-chart.js libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev chromium nodejs
  # Debian packages of scripts/package.sh: debhelper and dpkg-dev pack, help2man writes the
  # man pages, lintian and man-db check them; systemd-analyze checks the service unit
  debhelper dpkg-dev help2man lintian man-db systemd
)
# The browser tests drive Chromium with playwright-core from the npm registry (it downloads no
# browser of its own); the version is pinned by tests/browser/package-lock.json.
install_browser_driver() {
  if [ ! -d tests/browser/node_modules/playwright-core ]; then
    (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
  fi
}
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  install_browser_driver
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
install_browser_driver
