#!/usr/bin/env bash
# The users file changes or vanishes while a batch run reads it. The reader takes the file in
# blocks of 1 MiB, so the file is made larger than one block: 10 logins through the delay
# relay (about a quarter of a second each), then lines of 300 characters that the run skips,
# past the first block, then 10 more logins. One second into the run, while the first block's
# slow logins go on, the file is
#   truncated     cut to nothing in place: the run ends at the end of what it had read (10)
#   removed       unlinked: the open file is read on to its end (20)
#   replaced      another file renamed over it: the open file is still the old one (20)
#   appended to   5 more lines: they are read too (25)
# What must hold for each: the run ends with status 0 and its report, never crashes, and
# reports exactly the logins it read: the summary, report.json and logins.csv agree.
#   users_file_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: users_file_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"

write_files 10
start_slapd
start_relay 80

make_file() {  # make_file FILE: slow lines, a block and more of skipped lines, direct lines
  sed -e "s/127\.0\.0\.1:$ldap_port/127.0.0.1:$relay_port/" "$work/Users.csv"
  awk 'BEGIN { s = sprintf("%300s", ""); gsub(/ /, "x", s); for (i = 0; i < 4000; i++) print s }'
  cat "$work/Users.csv"
}

run_case() {  # run_case NAME EXPECTED_LOGINS CHANGE-COMMAND...
  local name=$1 expected=$2
  shift 2
  local dir=$work/$name
  mkdir -p "$dir"
  make_file >"$dir/Users.csv"
  check "$name: the file is larger than one block" test "$(stat -c %s "$dir/Users.csv")" -gt 1100000
  sed -e 's/^WorkloadUsersFile=.*/WorkloadUsersFile=Users.csv/' "$work/Run.ini" >"$dir/Run.ini"
  (cd "$dir" && exec "$cli" --ini "$dir/Run.ini" --batch --answer-port 0 --report "$dir/report" \
    >"$dir/batch.log" 2>"$dir/batch.err") &
  local pid=$!
  started "$pid"
  sleep 1
  check "$name: the run is still reading the first block" kill -0 "$pid"
  (cd "$dir" && "$@")
  wait_for 60 bash -c "! kill -0 $pid 2>/dev/null" || echo "$name: the run did not end within 60 s"
  wait "$pid"
  local status=$?
  say "$name: status $status; $(grep "operations performed" "$dir/batch.log")"
  check "$name: status 0, no crash (status $status)" test "$status" -eq 0
  check "$name: the summary counts $expected logins" has_line "^  There were $expected operations performed.$" "$dir/batch.log"
  jq_check "$dir/report/report.json" ".logins.performed == $expected and .logins.successful == $expected"
  check "$name: logins.csv has one row for each" test "$(($(wc -l <"$dir/report/logins.csv") - 1))" -eq "$expected"
  check "$name: no error line" bash -c "! grep -q '^error: ' '$dir/batch.err'"
}

run_case truncated 10 truncate -s 0 Users.csv
run_case removed 20 rm Users.csv
run_case replaced 20 bash -c 'head -n 3 Users.csv >New.csv && mv New.csv Users.csv'
run_case appended 25 bash -c "tail -n 5 '$work/Users.csv' >>Users.csv"
finish
