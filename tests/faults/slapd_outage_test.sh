#!/usr/bin/env bash
# The directory server fails in the middle of a run, against the real programs:
#   stop  slapd stopped (SIGSTOP) for 10 s, then resumed (SIGCONT): connections still complete
#         in the kernel's backlog, so each login waiting on it ends with the answer time-out
#   kill  slapd killed (SIGKILL), and 2 s later started again on the same port: each login in
#         that window is refused at once
# in a batch run (TarrowCli --batch --report) or a controlled run (TarrowCtrl with one client).
# The directory time-outs are 1 s each (QDS_CONNECT_TIMEOUT_MS, QDS_OP_TIMEOUT_MS). What must
# hold: every login that met the fault failed within the time-outs with the library's message,
# logins succeed again afterwards, the run ends with its report, the report shows the outage
# window, and (controlled) every credential packet is accounted for once.
#   slapd_outage_test.sh stop|kill batch|controlled BUILD_DIR
set -uo pipefail
mode=${1:?usage: slapd_outage_test.sh stop|kill batch|controlled BUILD_DIR}
where=${2:?usage: slapd_outage_test.sh stop|kill batch|controlled BUILD_DIR}
build=$(cd "${3:?usage: slapd_outage_test.sh stop|kill batch|controlled BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"

case "$mode" in
stop) expected_code=-202 ;;  # the answer time-out
kill) expected_code=-201 ;;  # no server to connect to
*) echo "unknown fault $mode"; exit 2 ;;
esac
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

make_fault() {  # the fault itself; sets fault_at and fault_end (seconds since t0)
  fault_at=$(since "$t0")
  if [ "$mode" = stop ]; then
    kill -STOP "$(slapd_pid)"
    sleep 10
    kill -CONT "$(slapd_pid)"
  else
    kill_slapd
    sleep 2
    start_slapd
  fi
  fault_end=$(since "$t0")
  say "slapd $mode from $fault_at s to $fault_end s"
}

write_files 20
start_slapd

if [ "$where" = batch ]; then
  csv=$work/report/logins.csv
  # The logins in a row that succeeded at the end of logins.csv (so far).
  successes_since_failure() {
    awk -F, 'NR > 1 { if ($3 != "success") n = 0; else n++ } END { print n + 0 }' "$csv" 2>/dev/null || echo 0
  }
  at_least_successes_since_failure() { [ "$(successes_since_failure)" -ge "$1" ]; }
  # The 20 users over and over, so that the run outlasts the fault. A refused login takes
  # tens of microseconds, so against the killed server no number of lines is sure to last
  # through the outage and end soon after it: that run gets far more lines than it needs and
  # is ended by SIGTERM once logins have succeeded again for a while.
  repeats=$([ "$mode" = stop ] && echo 500 || echo 16000)
  awk -v n="$repeats" '{ l[NR] = $0 } END { for (i = 0; i < n; i++) for (k = 1; k <= NR; k++) print l[k] }' "$work/Users.csv" >"$work/Batch.csv"
  lines=$(grep -c . "$work/Batch.csv")
  sed -e 's/^WorkloadUsersFile=.*/WorkloadUsersFile=Batch.csv/' "$work/Run.ini" >"$work/Batch.ini"
  say "batch run over $lines lines, slapd $mode after 0.5 s"
  t0=$(now)
  (cd "$work" && exec "$cli" --ini "$work/Batch.ini" --batch --answer-port 0 --report "$work/report" \
    >"$work/batch.log" 2>"$work/batch.err") &
  batch_pid=$!
  started "$batch_pid"
  sleep 0.5
  check "the batch run is still going when the fault starts" kill -0 "$batch_pid"
  make_fault
  check "the batch run is still going after the fault" kill -0 "$batch_pid"
  if [ "$mode" = kill ]; then
    # Two seconds and 200 successes after the restart, then the run is ended.
    sleep 2
    wait_for 30 at_least_successes_since_failure 200 ||
      echo "fewer than 200 successes after the restart within 30 s"
    kill -TERM "$batch_pid" 2>/dev/null
  fi
  wait_for 120 bash -c "! kill -0 $batch_pid 2>/dev/null" || echo "the batch run did not end within 120 s"
  wait "$batch_pid"
  status=$?
  say "batch run ended with status $status after $(since "$t0") s"
  tail -n 4 "$work/batch.log"
  r=$work/report/report.json
  check "the page is named at the end" has_line "^report: $work/report/report.html$" "$work/batch.err"
  # Every line (or, ended by SIGTERM, every login made) once in the report and logins.csv;
  # a run that completes also counts every line in its summary.
  rows=$(($(wc -l <"$csv") - 1))
  jq_check "$r" ".logins.performed == $rows"
  if [ "$mode" = kill ]; then
    check "the batch run ends by the SIGTERM it was sent (status $status)" test "$status" -eq 143
    check "the report holds the logins made ($rows of $lines lines)" test "$rows" -gt 0 -a "$rows" -lt "$lines"
  else
    check "the batch run exits 0 (status $status)" test "$status" -eq 0
    check "logins.csv has a row for every line ($rows)" test "$rows" -eq "$lines"
    check "the summary counts every line" has_line "There were $lines operations performed." "$work/batch.log"
  fi
  jq_check "$r" '.logins.errors + .logins.failed >= 1'
  jq_check "$r" "[.errors_by_message | keys[] | select(test(\" returned $expected_code\$\") | not)] == []"
  check "the log names the failure" has_line "^\*\*\*DSUser DSERROR: QV[A-Za-z]* returned $expected_code$" "$work/batch.log"
  # Every failed login ended within both time-outs (1 s each) and a little more.
  slowest=$(awk -F, 'NR > 1 && $3 != "success" && $6 > m { m = $6 } END { print m + 0 }' "$csv")
  check "the slowest failed login took ${slowest} us, within the time-outs" test "$slowest" -le 2500000
  if [ "$mode" = stop ]; then
    # One login at a time waits out the stop: about one a second.
    failed=$(awk -F, 'NR > 1 && $3 != "success"' "$csv" | wc -l)
    check "about one failed login a second of the stop ($failed)" test "$failed" -ge 5 -a "$failed" -le 12
  fi
  after=$(successes_since_failure)
  check "logins succeed again after the fault ($after after the last failure)" test "$after" -ge 100
  # The outage window in the report: successes before the first failure, whole seconds of
  # failures only, and successes in the last second.
  first_bad=$(awk -F, 'NR > 1 && $3 != "success" { print NR - 1; exit }' "$csv")
  check "logins succeeded before the fault (first failure: login $first_bad)" test "${first_bad:-0}" -gt 1
  jq_check "$r" '[.intervals[] | select(.errors + .failed > 0 and .successful == 0)] | length >= 1'
  jq_check "$r" '.intervals[-1].successful > 0 and .intervals[-1].errors == 0'
  finish
fi

# Controlled: one client, a login a second (MaxDelay 1); the controller stops by time.
duration=$([ "$mode" = stop ] && echo 28 || echo 22)
say "controlled run of $duration s, slapd $mode after its first success"
t0=$(now)
start_ctrl ctrl --duration "$duration" --outage-min-failures 2 --report "$work/report" --csv "$work/replies.csv"
start_client client
wait_for 15 grep -q ',success,' "$work/replies.csv" || echo "no success within 15 s"
sleep 1
make_fault
wait_ctrl $((duration + 20))
say "controller ended with status $ctrl_status after $(since "$t0") s"
cat "$work/ctrl.out"
r=$work/report/report.json
check "the controller exits 0 after the run (status $ctrl_status)" test "$ctrl_status" -eq 0
check "the summary says what stopped the run" has_line "stopped by:        --duration $duration s" "$work/ctrl.out"
check "the summary shows the outage" has_line "^  outage:            at " "$work/ctrl.out"
accounted "$r"
jq_check "$r" '.logins.errors + .logins.failed >= 2'
jq_check "$r" "[.errors_by_message | keys[] | select(test(\" returned $expected_code\$\") | not)] == []"
check "the client logs the failure" has_line "^\*\*\*DSUser ERROR: QV[A-Za-z]* returned $expected_code$" "$work/client.log"
# The reply time holds the one-second delay and the login: a login that met the fault ended
# within the time-outs.
jq_check "$r" '.reply_ms.max < 4500'
jq_check "$r" '.outages | length == 1'
jq_check "$r" ".outages[0].first_failure_t_s >= $fault_at - 1 and .outages[0].first_failure_t_s <= $fault_at + 3"
jq_check "$r" ".outages[0].recovered_t_s != null and .outages[0].recovered_t_s >= $fault_end - 1.5 and .outages[0].recovered_t_s <= $fault_end + 4"
jq_check "$r" '.outages[0].recovery_logins >= 1'
after=$(tr -d '\r' <"$work/replies.csv" | awk -F, 'NR > 1 { if ($4 != "success") n = 0; else n++ } END { print n + 0 }')
check "logins succeed again after the fault ($after after the last failure)" test "$after" -ge 2
finish
