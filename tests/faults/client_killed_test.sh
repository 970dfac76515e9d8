#!/usr/bin/env bash
# One of two clients killed (SIGKILL) while it holds a credential, in a controlled run for 10
# replies. e2e_controlled_fleet kills the only client of its run; here another one is working
# beside it. What must hold: the controller counts the killed client's login as indeterminate,
# names its user and why, hands that credential out again, and the other client goes on until
# the run completes; every packet sent is accounted for exactly once.
#   client_killed_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: client_killed_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"

write_files 20
start_slapd
free_port answer2 || exit 1
start_ctrl ctrl --count 10 --report "$work/report" --csv "$work/replies.csv"
start_client c1
start_client c2 --answer-port "$answer2"
victim=$client_pid
check "c2 connected" poke_until_connected c2 "$answer2"
# The kill comes just after a credential packet reached c2: it waits a second before the login.
check "c2 got a credential" wait_for 15 grep -q "^Received: U" "$work/c2.log"
n=$(grep -c "^Received: U" "$work/c2.log")
wait_for 5 bash -c "[ \$(grep -c '^Received: U' '$work/c2.log') -gt $n ]"
held=$(grep "^Received: U" "$work/c2.log" | tail -n 1 | sed -e 's/^Received: U//' -e 's/,.*//')
kill -KILL "$victim"
wait "$victim" 2>/dev/null
say "c2 killed while it held the credential of $held"
wait_ctrl 40
cat "$work/ctrl.out"
r=$work/report/report.json
check "the run completes (status $ctrl_status)" test "$ctrl_status" -eq 0
check "it stopped at its count" has_line "stopped by:        --count 10 replies reached" "$work/ctrl.out"
accounted "$r"
jq_check "$r" '.logins.performed == 10 and .logins.indeterminate == 1'
jq_check "$r" "[.indeterminate[] | {user, reason}] == [{\"user\": \"$held\", \"reason\": \"connection closed\"}]"
jq_check "$r" '.indeterminate[0].handed_again == true and .logins.handed_again == 1'
# The other client went on after the kill: it answered the rest, the handed-again line too.
jq_check "$r" "[.clients[] | select(.indeterminate == 1)] | length == 1"
after=$(tr -d '\r' <"$work/replies.csv" | awk -F, -v u="$held" 'NR > 1 && $3 == u && $4 == "success"' | wc -l)
check "the credential $held was answered by the other client" test "$after" -ge 1
finish
