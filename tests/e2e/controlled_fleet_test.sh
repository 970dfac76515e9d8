#!/usr/bin/env bash
# A controlled run with a mixed fleet, on loopback with the fixed ports:
#   1. against the recording double with a 20 ms login, the controller's login p50 is the
#      clients' 20 ms, while the reply time holds their one-second delay;
#   2. against a private slapd that is stopped and started during the run: a client that
#      reports timings lives through the outage and is killed while it holds a lease, then
#      one that does not report them (--no-timings) takes over (clients on one host share
#      the answer port, so they run one after the other). The report shows the outage, the
#      recovery, which client is which, and the killed client's login as indeterminate
#      with its user.
set -uo pipefail
build=$(cd "${1:?usage: controlled_fleet_test.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
mgr=$build/generator/cli/TarrowMgrCli
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-fleet.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  bash "$here/private-slapd.sh" stop "$work/slapd" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() {  # check REPORT JQ-TEST
  if ! jq -e "$2" "$1" >/dev/null 2>&1; then echo "CHECK FAILED: $2"; failures=$((failures + 1)); fi
}
client() {  # client LOG [options]: a TarrowCli in client mode in the background
  local log=$1
  shift
  (cd "$work" && exec "$cli" --ini "$work/Run.ini" "$@" > "$log" 2>&1) &
  pids+=($!)
}
stop_clients() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  pids=()
}

source "$here/free-port.sh"
free_port port || exit 1
"$mgr" --num-users 20 --tree "127.0.0.1:$port" --broadcast 127.255.255.255 \
       --working-dir "$work/" --csv-file Users.csv >/dev/null
sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Users.csv/' -e 's/^MaxDelay=90/MaxDelay=1/' \
    "$work/Tarrow.ini" > "$work/Run.ini"

echo "== 1. Recording double, 20 ms logins, 8 replies"
export QDSFAKE_LOGIN_DELAY_US=20000
(cd "$work" && LD_LIBRARY_PATH="$build/qds/fake" exec "$cli" --ini "$work/Run.ini" > "$work/fake.log" 2>&1) &
pids+=($!)
timeout 60 "$ctrl" --ini "$work/TarrowCtrl.ini" --count 8 --report "$work/fake-report" --quiet \
  | grep -E "login latency|reply time"
unset QDSFAKE_LOGIN_DELAY_US
stop_clients
r=$work/fake-report/report.json
check "$r" '.latency_us.count == 8 and .latency_us.p50 >= 20000 and .latency_us.p50 <= 22000'
check "$r" '.phases_us.bind.p50 >= 19800 and .phases_us.bind.p50 <= 20200'
check "$r" '.reply_ms.p50 >= 1000 and .reply_ms.p50 < 1300'

echo "== 2. Private slapd, stopped after 4 s and started again after 9 s; the client killed at 12 s"
bash "$here/private-slapd.sh" start "$work/slapd" "$port" "$work/Users.csv" >/dev/null
timeout 60 "$ctrl" --ini "$work/TarrowCtrl.ini" --duration 24 --outage-min-failures 2 \
  --report "$work/slapd-report" --quiet > "$work/ctrl.out" 2> "$work/ctrl.err" &
ctrl_pid=$!
sleep 0.5
client "$work/timed.log"
sleep 3.5
bash "$here/private-slapd.sh" stop "$work/slapd" >/dev/null
sleep 5
bash "$here/private-slapd.sh" start "$work/slapd" "$port" "$work/Users.csv" >/dev/null
sleep 3
kill -KILL "${pids[0]}"  # between its packet and its reply: it waits a second for each login
wait "${pids[0]}" 2>/dev/null
pids=()
client "$work/plain.log" --no-timings  # announces itself after 5 s
wait "$ctrl_pid"
status=$?
stop_clients
cat "$work/ctrl.out"
[ $status -eq 0 ] || { echo "TarrowCtrl exited with $status"; failures=$((failures + 1)); }
r=$work/slapd-report/report.json
check "$r" '.outages | length >= 1'
check "$r" '.outages[0].failed_in_row >= 2 and .outages[0].recovered_t_s != null'
check "$r" '.outages[0].first_failure_t_s >= 2 and .outages[0].recovered_t_s <= 20'
check "$r" '.outages[0].recovery_logins >= 1'
check "$r" '[.intervals[] | select(.errors + .failed > 0)] | length >= 2'
check "$r" '[.clients[] | .timings] | sort == ["no", "yes"]'
check "$r" '[.indeterminate[] | select(.reason == "connection closed")] | length == 1'
check "$r" '[.indeterminate[] | select(.reason == "connection closed") | .user | startswith("ElmfordTestUser")] == [true]'
check "$r" '.logins.packets_sent == .logins.performed + .logins.indeterminate'
check "$r" '.logins.successful > 0 and .latency_us.count > 0'
rows=$(($(wc -l < "$work/slapd-report/logins.csv") - 1))
check "$r" ".logins.packets_sent == $rows"
grep -q "outage:            at " "$work/ctrl.out" || { echo "no outage line in the summary"; failures=$((failures + 1)); }

passed=$(( failures == 0 ? 1 : 0 ))
echo "$passed passed, $((1 - passed)) failed"
[ $failures -eq 0 ]
