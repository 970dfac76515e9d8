#!/usr/bin/env bash
# TarrowCli's test ports, --control-port among them: the controller takes any free port for
# discovery and the control channel (0), says which, and a client in client mode given those
# ports (and an answer port of the test's own) finds it and completes 2 logins against the
# recording double. Nothing uses 2308 or 2309, so it runs beside any other run.
#   client_control_port_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: client_control_port_test.sh BUILD_DIR}" && pwd)
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-ports.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
expect() {  # expect FILE TEXT
  if ! grep -qF -- "$2" "$1"; then echo "MISSING in $(basename "$1"): $2"; failures=$((failures + 1)); fi
}
source "$(dirname "$0")/../../scripts/free-port.sh"
free_port answer || exit 1
printf 'alice,secret,127.0.0.1,Users.Vantric,srv,1\r\n' >"$work/users.csv"
printf '[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=users.csv\r\n' >"$work/TarrowCtrl.ini"
printf '[General]\r\nLocal Broadcast=127.255.255.255\r\nMaxDelay=1\r\n' >"$work/Tarrow.ini"

timeout 40 "$ctrl" --ini "$work/TarrowCtrl.ini" --discovery-port 0 --control-port 0 --answer-port "$answer" \
  --count 2 --quiet >"$work/ctrl.out" 2>"$work/ctrl.err" &
ctrl_pid=$!
pids+=("$ctrl_pid")
line=""
for _ in $(seq 1 100); do
  line=$(grep -m1 "listening on TCP port" "$work/ctrl.err" 2>/dev/null) && break
  sleep 0.05
done
control=$(sed -n 's/.*listening on TCP port \([0-9]*\), discovery on UDP port \([0-9]*\),.*/\1/p' <<<"$line")
discovery=$(sed -n 's/.*listening on TCP port \([0-9]*\), discovery on UDP port \([0-9]*\),.*/\2/p' <<<"$line")
[ -n "$control" ] && [ -n "$discovery" ] || { echo "FAIL: no port line: $(cat "$work/ctrl.err")"; exit 1; }
echo "controller: TCP $control, UDP $discovery, answers to $answer"
[ "$control" != 2308 ] || { echo "FAIL: port 0 gave 2308"; exit 1; }

(cd "$work" && LD_LIBRARY_PATH="$build/qds/fake" exec "$cli" --ini "$work/Tarrow.ini" \
  --discover-port "$discovery" --answer-port "$answer" --control-port "$control" \
  >"$work/client.log" 2>"$work/client.err") &
pids+=($!)
wait "$ctrl_pid"
status=$?
cat "$work/ctrl.out"
[ $status -eq 0 ] || { echo "TarrowCtrl exited with $status"; failures=$((failures + 1)); }
expect "$work/ctrl.out" "success (R1):    2"
expect "$work/client.err" "status: 127.255.255.255 | $discovery | $answer"
expect "$work/client.err" ":$control"
expect "$work/client.log" "Received: Ualice,secret,127.0.0.1,Users.Vantric,srv from Controller"
grep "^status: Connected to: .*:$control$" "$work/client.err" >/dev/null ||
  { echo "the status line does not name port $control"; failures=$((failures + 1)); }
echo "$(( failures == 0 ? 1 : 0 )) passed, $(( failures == 0 ? 0 : 1 )) failed"
[ $failures -eq 0 ]
