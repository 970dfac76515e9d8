#!/usr/bin/env bash
# TarrowCtrl --find-capacity on loopback: five TarrowCli clients in client mode against one
# recording double of known capacity that they all share (QDSFAKE_SERVERS_FILE: one server
# of 4 ms, 250 logins/s for the whole fleet). Each client runs one login at a time, so the
# fleet holds at most five logins at the directory: enough that a burst queues there rather
# than for a free client, and the directory, not the fleet, is the limit. The capacity found
# is never above 250/s and at most 10 % below it; standard output ends with the one Capacity
# line; report.json has the capacity section with every step. A bad objective is refused
# with status 2 before anything runs. The search bounds the median, not the tail: six
# processes on two shared cores wake late often enough to fail a tail bound at rates the
# double meets, while above the capacity the queue lifts the median past the bound at once.
#   ctrl_find_capacity_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: ctrl_find_capacity_test.sh BUILD_DIR}" && pwd)
FAULT_DEADLINE_S=175
source "$(dirname "$0")/../faults/faults_lib.sh"

"$ctrl" --find-capacity 'p99<20ms' >"$work/bad.out" 2>"$work/bad.err"
check "a bad objective exits 2" test $? -eq 2
check "and says why" grep -q '^TarrowCtrl: --find-capacity: "p99<20ms" needs <= and a bound' "$work/bad.err"

write_files 50
export LD_LIBRARY_PATH=$build/qds/fake QDSFAKE_SERVERS=1 QDSFAKE_SERVICE_US=4000

# search: one search with five fresh clients; its last line in $last, its rate in $rate.
search() {
  rm -rf "$work/report"
  export QDSFAKE_SERVERS_FILE=$work/servers.$RANDOM
  start_ctrl ctrl --find-capacity 'p50<=10ms' --from 150 --precision 3 --max-time 30 --clients 5 \
    --report "$work/report"
  local first=${#pids[@]}
  start_client c1
  check "c1 connected" wait_for 15 grep -q '^status: Connected to: ' "$work/c1.err"
  local c
  for c in c2 c3 c4 c5; do start_another_client "$c"; done
  wait_ctrl 60
  grep '^TarrowCtrl: capacity: ' "$work/ctrl.err"
  last=$(tail -n 1 "$work/ctrl.out")
  echo "--- last line: $last"
  rate=$(sed -n 's/^Capacity: \([0-9.]*\) logins\/s (\([0-9.]*\)\.\.\([0-9.]*\)) with p50 <= 10 ms at 95 % confidence$/\1/p' <<<"$last")
  # The clients of this search go; the next one has its own.
  local p
  for p in "${pids[@]:$first}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
}

# A machine busy with other work can still hold the controller or a client off the processor
# long enough to fail a rate the directory meets: a search that ends too low runs again, up
# to three in all. A capacity above the true one fails the test at once.
for attempt in 1 2 3; do
  search
  [ "$ctrl_status" -ne 0 ] || awk -v r="${rate:-0}" 'BEGIN { exit !(r < 225) }' || break
  check "even so, not above the true capacity" awk -v r="${rate:-0}" 'BEGIN { exit !(r <= 250) }'
  [ "$attempt" -lt 3 ] && echo "search $attempt was disturbed ($last); once more"
done
json=$work/report/report.json
check "the search exits 0 (status $ctrl_status)" test "$ctrl_status" -eq 0
check "standard output ends with the capacity line ($last)" test -n "$rate"
check "exactly one capacity line" test "$(grep -c '^Capacity: ' "$work/ctrl.out")" -eq 1
check "the capacity ($rate/s) is never above the true 250/s" awk -v r="${rate:-1e9}" 'BEGIN { exit !(r <= 250) }'
check "and at most 10 % below it" awk -v r="${rate:-0}" 'BEGIN { exit !(r >= 225) }'
check "the summary comes before it" has_line "stopped by:        the capacity search ended" "$work/ctrl.out"
jq_check "$json" '.capacity.outcome == "found" and .capacity.objective == "p50 <= 10 ms" and .capacity.reason == null'
jq_check "$json" '.capacity.steps | length >= 3 and all(.[]; .workers == 5 and .started > 0 and .ended == .started
  and .errors == 0 and (.percentile_low_us <= .percentile_us))'
jq_check "$json" '.capacity.steps | all(.[]; .verdict != "met" or .offered_per_s <= 250)'
jq_check "$json" '(.capacity.steps | map(.ended) | add) + .capacity.warm_up.ended == .latency_us.count'
jq_check "$json" '.load == null and .service_us.p50 >= 4000 and .logins.failed == 0'
accounted "$json"
check "report.html is written" test -s "$work/report/report.html"
finish
