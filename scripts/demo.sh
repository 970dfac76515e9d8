#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs a login-load run on loopback.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
echo "demo: the login-load run is not wired up yet"
