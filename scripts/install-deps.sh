#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Does nothing when they are all present; needs root (apt-get) otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
packages=(
  g++ cmake ninja-build pkg-config clang-format
  qt6-base-dev libgl-dev libcli11-dev
  libldap-dev slapd ldap-utils
  # The self-signed certificate of the private slapd with TLS (scripts/private-slapd.sh --tls).
  openssl
  # The batch run's machine-readable report (report.json).
  nlohmann-json3-dev
  jq
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth imagemagick
  # The fleet (scripts/fleet.sh): network namespaces, bridge, veth and ss; pkill; the relay's options.
  iproute2 procps libcli11-dev
  # The fuzz preset (scripts/fuzz.sh): clang 14 with libFuzzer and its sanitizer runtimes.
  clang libclang-rt-14-dev
  # Faces of the windows' font stacks (client/qt/tarrow_window.cpp, generator/qt/TarrowMgrFrm.cpp):
  # DejaVu Sans (Condensed), Nimbus Sans Narrow, Liberation Sans; fontconfig finds them.
  # Report page and its comparison: the charting library inlined into report.html, JSON,
  # options, the live view's HTTP server, and Chromium for the page tests.
  libjs-chart.js nlohmann-json3-dev libcli11-dev libcpp-httplib-dev libssl-dev zlib1g-dev
  libbrotli-dev chromium nodejs
  fontconfig fonts-dejavu-core fonts-dejavu-extra fonts-urw-base35 fonts-liberation2
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
