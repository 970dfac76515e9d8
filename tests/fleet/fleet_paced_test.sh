#!/usr/bin/env bash
# The fleet at a chosen rate (fleet.sh --rate, TarrowCtrl --rate):
#   rate              6 workstations at 30 logins a second for 10 s (300 logins): each second
#                     of the report starts 30 logins, give or take 2, and every packet sent is
#                     a reply or indeterminate
#   directory_link    4 workstations at 20 a second, the directory host's link down for 3 s:
#                     the logins due in the outage wait for the clients that hang in it, so
#                     their latency (from when they were due) shows it, and the report has
#                     the outage
set -uo pipefail
mode=${1:?usage: fleet_paced_test.sh rate|directory_link BUILD_DIR}
build=${2:?usage: fleet_paced_test.sh rate|directory_link BUILD_DIR}
source "$(dirname "$0")/fleet_test_lib.sh"
skip_unless_fleet_possible
report() { jq -e "$1" "$run/report/report.json" >/dev/null 2>&1; }
# Every credential packet sent is a reply or indeterminate, in the report as in the summary.
accounted() {
  check "packets sent = replies + indeterminate" report '.logins.packets_sent == .logins.performed + .logins.indeterminate'
  check "the fleet line accounts for every packet" test "$(metric packets_sent)" -eq \
    $(($(metric replies) + $(metric packets_without_reply)))
}

case "$mode" in
rate)
  run_fleet --rate 30 6 300
  check "the fleet run succeeds (exit $status)" test "$status" -eq 0
  check "the controller stops at the count" has_line "stopped by:        --count 300 replies reached"
  check "the summary gives logins due, started and ended per second" has_line "due / started / ended, paced clients"
  accounted
  check "every login was paced" report '.latency_us.count == 300 and .load.fleet.unpaced_replies == 0'
  check "the fleet was large enough" report '.load.fleet.large_enough == true'
  check "ten seconds of logins" report '[.load.seconds[] | .started] | add == 300 and length >= 10'
  started=$(jq -c '[.load.seconds[] | select(.t_s < 10) | .started]' "$run/report/report.json")
  check "each second started 30 logins, give or take 2: $started" \
    report '[.load.seconds[] | select(.t_s < 10) | .started] | all(. >= 28 and . <= 32)'
  check "the schedule lag stays small" report '.schedule_lag_us.p99 < 50000'
  ;;
directory_link)
  # The workstations connect about 5 s after they start; the outage comes 3 s into the run.
  run_fleet --rate 20 --link-down dir:8:11 4 300
  check "the fleet run succeeds (exit $status)" test "$status" -eq 0
  accounted
  check "logins failed in the outage" report '.logins.errors + .logins.failed >= 1'
  check "the report has the outage: the clients stalled" report '(.load.stalls | length) >= 1 and .load.stalls[0].longest_wait_us >= 1500000'
  # A login due in the outage waits for a client that hangs in it: seconds from due to end.
  lat=$(jq -c '{p50: .latency_us.p50, max: .latency_us.max, service_max: .service_us.max}' "$run/report/report.json")
  check "the logins due in the outage show it in their latency: $lat" report '.latency_us.max >= 1500000'
  check "the others do not: $lat" report '.latency_us.p50 < 100000'
  check "they waited for a free client" report '.load.fleet.waited_for_client >= 1'
  check "seconds of the outage fell behind the schedule" report '[.load.seconds[] | select(.behind_schedule)] | length >= 1'
  ;;
*) echo "unknown mode $mode"; exit 2 ;;
esac
finish
