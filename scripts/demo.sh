#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs a real login-load run on
# loopback (generator, private directory server, batch run, controller and client).
#   demo.sh [USERS] [LOGINS]     defaults: 20 users, 10 controlled logins
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
bash scripts/login-load-run.sh build/release "${1:-20}" "${2:-10}"
