#!/usr/bin/env bash
# A client in a controlled run stopped by SIGTERM in the middle of a login, against a healthy
# directory behind a delay relay (300 ms a chunk, so a login takes about a second). What must
# hold: the login under way completes and is answered as the success it is, the client then
# ends cleanly, and the controller records no error: a signal taken on the login's thread
# used to break the directory call and report " returned -201" for a server that was fine.
#   client_sigterm_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: client_sigterm_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"

write_files 10
start_slapd
start_relay 300
# The credentials name the relay; slapd was seeded with the same users.
sed -i -e "s/127\.0\.0\.1:$ldap_port/127.0.0.1:$relay_port/" "$work/Users.csv"
start_ctrl ctrl --count 10 --report "$work/report" --csv "$work/replies.csv"
start_client c1
victim=$client_pid
check "c1 got a credential" wait_for 15 grep -q "^Received: U" "$work/c1.log"
# Mid-login: the client holds a connection to the relay, which holds its bind for 300 ms.
logging_in() { ss -Htn state established "( dport = :$relay_port )" | grep -q .; }
check "c1 connected to the directory" wait_for 5 logging_in
kill -TERM "$victim"
say "c1 sent SIGTERM while it logged in"
check "c1 ended within 5 s" wait_for 5 bash -c "! kill -0 $victim 2>/dev/null"
wait "$victim"
status=$?
check "c1 ended cleanly (status $status)" test "$status" -eq 0
check "c1 logged no directory error" bash -c "! grep -q 'ERROR' '$work/c1.log' '$work/c1.err'"
kill -TERM "$ctrl_pid"
wait_ctrl 10
r=$work/report/report.json
check "the controller ended with its report (status $ctrl_status)" test -f "$r"
check "the login under way was answered as a success" \
  bash -c "[ \"\$(tr -d '\r' <'$work/replies.csv' | awk -F, 'NR > 1 { print \$3, \$4 }')\" = 'ElmfordTestUser1 success' ]"
accounted "$r"
jq_check "$r" '.logins.performed == 1 and .logins.successful == 1 and .logins.errors == 0'
# The reply brought the next credential at once, which reached a client on its way out.
jq_check "$r" '.logins.indeterminate <= 1 and all(.indeterminate[]; .reason == "connection closed")'
finish
