#!/usr/bin/env bash
# The controller at a chosen rate on loopback, with TarrowCli clients on the test's own ports
# against a private slapd: three clients accept pacing, a fourth (--no-timings) does not and
# keeps its own delays. TarrowCtrl --rate 40 --count 200 hands the logins round the paced
# clients when they are due; the report times them from their due time, holds the rate in
# every full second, counts the fourth client's replies apart, and accounts for every packet.
#   paced_controller_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: paced_controller_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/../faults/faults_lib.sh"

write_files 20
start_slapd
start_ctrl ctrl --rate 40 --count 200 --report "$work/report" --csv "$work/replies.csv"
start_client c1
check "c1 connected" wait_for 15 grep -q '^status: Connected to: ' "$work/c1.err"
start_another_client c2
start_another_client c3
start_another_client c4 --no-timings
wait_ctrl 60
cat "$work/ctrl.out"
r=$work/report/report.json
check "the run completes (status $ctrl_status)" test "$ctrl_status" -eq 0
check "it stopped at its count" has_line "stopped by:        --count 200 replies reached" "$work/ctrl.out"
check "the summary judges the fleet" has_line "fleet:             large enough" "$work/ctrl.out"
check "the summary gives each second" has_line "due / started / ended, paced clients" "$work/ctrl.out"
accounted "$r"
jq_check "$r" '.logins.performed == 200 and .logins.successful == 200'
jq_check "$r" '.load.fleet.paced_clients_most == 3 and .load.fleet.unpaced_clients_most >= 1'
jq_check "$r" '.load.fleet.unpaced_replies >= 1 and .load.fleet.large_enough == true'
# Timed from due: only the paced logins, latency = schedule lag + service.
jq_check "$r" '.latency_us.count == 200 - .load.fleet.unpaced_replies and .service_us.count == .latency_us.count'
jq_check "$r" '.latency_us.p50 >= .service_us.p50 and .schedule_lag_us.p99 < 20000'
jq_check "$r" '.load.rate == 40 and .load.rate_held.full_seconds >= 3'
jq_check "$r" '[.load.seconds[] | select(.t_s >= 1 and .t_s <= 3) | .started] | all(. >= 38 and . <= 42)'
# Logins go round the paced clients: each ran a fair share.
for c in c1 c2 c3; do
  n=$(grep -c '^Received: U' "$work/$c.log")
  check "$c ran its share of the paced logins ($n)" test "$n" -ge 30
done
finish
