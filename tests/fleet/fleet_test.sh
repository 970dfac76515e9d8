#!/usr/bin/env bash
# A fleet of 6 workstations runs 60 logins: every client is found by broadcast, connects, logs
# in and replies, and the controller's numbers add up.
set -uo pipefail
build=${1:?usage: fleet_test.sh BUILD_DIR}
source "$(dirname "$0")/fleet_test_lib.sh"
skip_unless_fleet_possible

# One bridge takes 1023 ports: a fleet beyond it is refused before anything is made.
too_many=$(bash "$fleet_script" --build "$build" $((fleet_max_workstations + 1)) 2>&1)
too_many_status=$?
check "K above $fleet_max_workstations is refused with status 2 ($too_many_status)" test "$too_many_status" -eq 2
check "and says why" grep -q "K is at most $fleet_max_workstations, got $((fleet_max_workstations + 1)): one bridge takes 1023 ports" <<<"$too_many"

run_fleet 6 60
check "the fleet run succeeds (exit $status)" test "$status" -eq 0
check "the controller stops at the count" has_line "stopped by:        --count 60 replies reached"
check "60 successful replies" has_line "    success (R1):    60"
check "every packet has its reply" has_line "  packets sent:      60 (0 without a reply)"
check "6 connections, none dropped" has_line "  connections:       6 accepted, 0 refused, 0 closed by the client, 0 dropped"
answered=$(summary_figure "datagrams received,")
check "every workstation's announcement answered ($answered)" test "${answered:-0}" -ge 6
for i in 1 2 3 4 5 6; do
  address=$(ws_addr "$i")
  ws=$run/ws$i
  check "ws$i announced to the subnet's broadcast" grep -qx "$broadcast" "$ws/client.log"
  check "ws$i took the controller's answer" grep -qx "Received: DISCOVER from $ctrl_addr" "$ws/client.log"
  check "ws$i connected to the controller" grep -q "^status: Connected to: .*:2308$" "$ws/client.err"
  check "ws$i logged in and replied" grep -Eq "^    $address:[0-9]+  [1-9][0-9]* / 0 / 0$" <<<"$out"
done
check "the CSV holds 60 successes" test "$(tr -d '\r' <"$run/replies.csv" | grep -c ',success,1,,')" -eq 60
check "the workstations' replies add up to 60" test "$(awk '/^    10\.231\.[0-9]+\.[0-9]+:[0-9]+  [0-9]+ \/ [0-9]+ \/ [0-9]+$/ { n += $2 } END { print n }' <<<"$out")" -eq 60
check "six workstations replied" test "$(metric clients_replied)" = 6
finish
