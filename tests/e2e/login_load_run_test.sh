#!/usr/bin/env bash
# Runs a short login-load run (3 users, 3 controlled logins, MaxDelay 1) and checks
# the batch report and the controller's summary.
set -uo pipefail
build=${1:?usage: login_load_run_test.sh BUILD_DIR}
script=$(cd "$(dirname "$0")/../../scripts" && pwd)/login-load-run.sh
out=$(bash "$script" "$build" 3 3 2>&1)
status=$?
echo "$out"
failures=0
expect() {
  if ! grep -qF -- "$1" <<<"$out"; then echo "MISSING: $1"; failures=$((failures + 1)); fi
}
[ $status -eq 0 ] || { echo "run exited with $status"; failures=$((failures + 1)); }
for n in 1 2 3; do expect "ElmfordTestUser$n Successful Login!"; done
expect "  There were 3 operations performed."
expect "  Successful operations: 3"
expect "stopped by:        --count 3 replies reached"
expect "success (R1):    3"
expect "Received: UElmfordTestUser1,kemp,127.0.0.1:"
passed=$(( failures == 0 ? 1 : 0 ))
echo "$passed passed, $((1 - passed)) failed"
[ $failures -eq 0 ]
