#!/usr/bin/env bash
# A paced batch run (TarrowCli --batch --workers 1 --rate 200) against a slapd that is stopped
# (SIGSTOP) for 2 s mid-run. The logins due during the stop wait for the one worker: their
# latency (from when they were due) shows the stall, their service time (from their start)
# does not, the run catches up afterwards, every line is run once, and the stall is not taken
# for the load generator falling behind.
#   paced_stall_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: paced_stall_test.sh BUILD_DIR}" && pwd)
# The login under way waits out the stop instead of timing out.
export QDS_OP_TIMEOUT_MS=5000
source "$(dirname "$0")/faults_lib.sh"

write_files 20
start_slapd
# 20 users 100 times: 2000 logins, 10 s at 200/s.
awk '{ l[NR] = $0 } END { for (i = 0; i < 100; i++) for (k = 1; k <= NR; k++) print l[k] }' "$work/Users.csv" >"$work/Batch.csv"
lines=$(grep -c . "$work/Batch.csv")
sed -e 's/^WorkloadUsersFile=.*/WorkloadUsersFile=Batch.csv/' "$work/Run.ini" >"$work/Batch.ini"
say "paced run over $lines lines at 200/s, slapd stopped from 1.5 s to 3.5 s"
(cd "$work" && exec "$cli" --ini "$work/Batch.ini" --batch --answer-port 0 --workers 1 --rate 200 \
  >"$work/batch.log" 2>"$work/batch.err") &
batch_pid=$!
started "$batch_pid"
sleep 1.5
check "the run is still going when slapd stops" kill -0 "$batch_pid"
kill -STOP "$(slapd_pid)"
sleep 2
kill -CONT "$(slapd_pid)"
wait_for 60 bash -c "! kill -0 $batch_pid 2>/dev/null" || echo "the run did not end within 60 s"
wait "$batch_pid"
status=$?
cat "$work/batch.err"
tail -n 4 "$work/batch.log"

check "the run exits 0 (status $status)" test "$status" -eq 0
check "every line is run once" has_line "There were $lines operations performed." "$work/batch.log"
check "every login succeeded" has_line "Successful operations: $lines$" "$work/batch.log"
check "one log line per login" test "$(grep -c ' Successful Login!$' "$work/batch.log")" -eq "$lines"
# "load: latency p50 A ms p99 B ms; service p50 C ms p99 D ms; ..."
latency_p99=$(sed -n 's/^load: latency p50 [0-9.]* ms p99 \([0-9.]*\) ms.*/\1/p' "$work/batch.err")
service_p99=$(sed -n 's/^load: latency .*; service p50 [0-9.]* ms p99 \([0-9.]*\) ms.*/\1/p' "$work/batch.err")
check "latency p99 shows the stall (${latency_p99:-?} ms >= 1000)" awk -v v="${latency_p99:-0}" 'BEGIN { exit !(v >= 1000) }'
check "service p99 does not (${service_p99:-?} ms < 100)" awk -v v="${service_p99:-1e9}" 'BEGIN { exit !(v < 100) }'
# Caught up: the 10 s of the curve end about on time, not 2 s late.
took=$(sed -n 's/^It took: 00:00:\([0-9][0-9]\):\([0-9]*\) .*/\1.\2/p' "$work/batch.log")
check "the run caught up (it took ${took:-?} s for 10 s of logins)" awk -v v="${took:-99}" 'BEGIN { exit !(v < 11.5) }'
check "the stall is not taken for the generator falling behind" bash -c "! grep -q 'fell behind' '$work/batch.err'"
finish
