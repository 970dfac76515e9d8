#!/usr/bin/env bash
# The controller killed (SIGKILL) while its two clients hold credentials, and started again 2 s
# later on the same ports. What must hold: both clients see the connection lost at once, go
# back to announcing, and connect to the new controller within one announcement period (5 s)
# after it returns; the new controller drops nobody (no reply comes for a credential it never
# sent) and accounts for every packet it sent; the first controller's CSV lost no reply row.
# The second client takes answers on a port of its own (clients on one host cannot share one),
# so the test hands it the controller's answer once it announced.
#   controller_restart_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: controller_restart_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"

count() { grep -c -- "$1" "$2" 2>/dev/null; }
replies_of() { tr -d '\r' <"$1" | awk -F, -v c="$2" 'NR > 1 && $2 ~ c' | wc -l; }

write_files 20
start_slapd
free_port answer2 || exit 1
say "controller and two clients (MaxDelay 1), on ports of the test's own"
start_ctrl ctrl1 --count 1000 --csv "$work/replies1.csv"
start_client c1
start_client c2 --answer-port "$answer2"
check "c2 connected" poke_until_connected c2 "$answer2"
wait_for 20 bash -c "[ \$(grep -c ',success,' '$work/replies1.csv' 2>/dev/null) -ge 6 ]" ||
  echo "not 6 replies within 20 s"
check "both clients replied to the first controller" test "$(tr -d '\r' <"$work/replies1.csv" | awk -F, 'NR > 1 { print $2 }' | sort -u | wc -l)" -eq 2
# Each holds a credential most of the time (a second of delay, a login of a millisecond); kill
# just after a packet reached the second one.
n=$(count "^Received: U" "$work/c2.log")
wait_for 5 bash -c "[ \$(grep -c '^Received: U' '$work/c2.log') -gt $n ]"
lost_before=$(count "Connection Lost" "$work/c1.err")
kill -KILL "$ctrl_pid"
wait "$ctrl_pid" 2>/dev/null
killed_at=$SECONDS
say "controller killed"
for c in c1 c2; do
  check "$c saw the connection lost within 2 s" wait_for 2 grep -q "^status: Connection Lost: 127.0.0.1:$control_port$" "$work/$c.err"
done
rows1=$(($(wc -l <"$work/replies1.csv") - 1))
check "the first controller's CSV has a whole row for each reply ($rows1)" \
  bash -c "tr -d '\r' <'$work/replies1.csv' | awk -F, 'NR > 1 && NF < 7 { bad = 1 } END { exit bad }'"
announced_c2=$(count "^Discovery Timer$" "$work/c2.log")
sleep 2
check "the clients announce again while no controller is there" \
  wait_for 6 bash -c "[ \$(grep -c '^Discovery Timer$' '$work/c2.log') -gt $announced_c2 ]"

say "controller started again after $((SECONDS - killed_at)) s"
start_ctrl ctrl2 --count 8 --report "$work/report" --csv "$work/replies2.csv"
back=$SECONDS
announced_c2=$(count "^Discovery Timer$" "$work/c2.log")
# c1 takes the controller's own answer; c2 gets it from the test as soon as it announces.
check "c1 connected to the new controller within one announcement period" \
  wait_for 6 bash -c "[ \$(grep -c '^status: Connected to: ' '$work/c1.err') -ge 2 ]"
echo "c1 connected again $((SECONDS - back)) s after the controller returned"
check "c2 announced again" wait_for 6 bash -c "[ \$(grep -c '^Discovery Timer$' '$work/c2.log') -gt $announced_c2 ]"
check "c2 connected to the new controller once it had the answer" poke_until_connected c2 "$answer2"
wait_ctrl 40
cat "$work/ctrl2.out"
r=$work/report/report.json
check "the new controller's run completes (status $ctrl_status)" test "$ctrl_status" -eq 0
check "it stopped at its count" has_line "stopped by:        --count 8 replies reached" "$work/ctrl2.out"
check "nobody was dropped" has_line "^  connections:       2 accepted, 0 refused, 0 closed by the client, 0 dropped$" "$work/ctrl2.out"
accounted "$r"
jq_check "$r" '.logins.performed == 8 and .logins.successful == 8'
jq_check "$r" '.clients | length == 2'
finish
