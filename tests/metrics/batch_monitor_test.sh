#!/usr/bin/env bash
# TarrowCli --batch with --monitor and --web against a private slapd: the directory's
# completed binds (less the monitor's own) equal the logins that reached the bind, failed
# ones too; /metrics serves the run's counts; a monitor that cannot be read (nothing at the
# URI, or an anonymous bind that sees no cn=Monitor) is one warning and the run goes on;
# a --web port in use stops the program with status 1, naming the port.
#   batch_monitor_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
FAULT_DEADLINE_S=${FAULT_DEADLINE_S:-60}
source "$(dirname "$0")/../faults/faults_lib.sh"
command -v curl >/dev/null || skip "no curl"

write_files 20
start_slapd
# Two lines whose logins reach the bind and fail there: a wrong password, an unknown user.
tree="127.0.0.1:$ldap_port"
printf 'ElmfordTestUser1,wrong,%s,Users.Engineering.Elmford.Vantric,NotUsed,1\r\n' "$tree" >>"$work/Users.csv"
printf 'nobody,x,%s,Users.Engineering.Elmford.Vantric,NotUsed,1\r\n' "$tree" >>"$work/Users.csv"
password=$(cat "$work/slapd/monitor.password")
free_port web_port || exit 1
batch() {  # batch NAME [options]: TarrowCli --batch in the run folder; status in batch_status
  local name=$1
  shift
  (cd "$work" && TARROW_MONITOR_PASSWORD=$password timeout 30 "$cli" --ini "$work/Run.ini" --batch "$@" \
    >"$work/$name.log" 2>"$work/$name.err")
  batch_status=$?
}

scraped() {  # scraped NAME PORT FILE [options]: a batch run with --web PORT; /metrics at its end in FILE
  local name=$1 port=$2 file=$3
  shift 3
  (cd "$work" && TARROW_MONITOR_PASSWORD=$password timeout 30 "$cli" --ini "$work/Run.ini" --batch "$@" \
    --web "$port" --web-hold 3 >"$work/$name.log" 2>"$work/$name.err") &
  local pid=$!
  started "$pid"
  check "$name ends and the page stays up" wait_for 20 grep -q "the live view stays up" "$work/$name.err"
  curl -sf "http://127.0.0.1:$port/metrics" >"$file"
  wait "$pid"
  check "status 0" test $? -eq 0
}

say "a batch run with the directory's counters and the live page"
scraped b1 "$web_port" "$work/metrics.txt" --report "$work/r1" --monitor "ldap://$tree" \
  --monitor-bind cn=tarrow-monitor,cn=Monitor
r=$work/r1/report.json
performed=$(jq '.logins.performed' "$r")
reached=$(jq '.phases_us.bind.count' "$r")
jq_check "$r" '.logins.performed == 22 and .logins.errors == 2'
check "the server completed the $reached binds of the run beside the monitor's own" \
  has_line "^directory: $reached binds completed by the server (less the monitor's own 0)$" "$work/b1.err"
sum=$(awk '/^tarrow_logins_total/ { s += $2 } END { print s }' "$work/metrics.txt")
check "/metrics counts $performed logins ($sum)" test "$sum" = "$performed"
check "/metrics has the directory's binds" has_line "^tarrow_directory_binds_completed_total $reached$" "$work/metrics.txt"
jq_check "$r" '.directory.source == "cn=Monitor counters" and .directory.counts == "binds"'
jq_check "$r" ".directory.totals.completed == $reached and .directory.totals.monitor_binds == 0"
jq_check "$r" '(.directory.intervals | length) == (.intervals | length) and ([.directory.intervals[].t_s] == [.intervals[].t_s])'
jq_check "$r" '([.directory.intervals[].completed | select(. != null)] | add) == .directory.totals.completed'
jq_check "$r" '[.directory.intervals[] | .connections >= 1 and .threads >= 1] | all'
check "a run one login after another has no schedule figures" \
  test "$(grep -c 'tarrow_login_service\|tarrow_login_schedule_lag\|tarrow_logins_due\|tarrow_logins_started\|tarrow_target' "$work/metrics.txt")" -eq 0
# The page draws the directory's charts (Chromium, when the browser tests can run here).
here=$(cd "$(dirname "$0")" && pwd)
if [ -d "$here/../browser/node_modules/playwright-core" ] && command -v node >/dev/null; then
  check "report.html draws the directory's charts" \
    node "$here/../browser/check_page.mjs" "file://$work/r1/report.html" --report "$r"
fi

say "a paced run's schedule figures"
free_port paced_port || exit 1
scraped b5 "$paced_port" "$work/paced.txt" --rate 50 --duration 3 --report "$work/r5"
r=$work/r5/report.json
performed=$(jq '.logins.performed' "$r")
check "logins were made ($performed)" test "$performed" -gt 100
check "started logins equal the report's $performed" has_line "^tarrow_logins_started_total $performed$" "$work/paced.txt"
check "due logins equal the report's" has_line "^tarrow_logins_due_total $(jq '[.load.seconds[].due] | add' "$r")$" "$work/paced.txt"
check "the target rate" has_line "^tarrow_target_logins_per_second 50$" "$work/paced.txt"
for h in service schedule_lag; do
  check "the $h histogram counts every login" has_line "^tarrow_login_${h}_seconds_count $performed$" "$work/paced.txt"
done
# A login is timed from when it was due: its whole time is its schedule lag and its service time.
sums=$(awk '/^tarrow_login_(duration|service|schedule_lag)_seconds_sum / { s[$1] = $2 * 1e6 }
  END { printf "%.0f %.0f", s["tarrow_login_duration_seconds_sum"],
        s["tarrow_login_service_seconds_sum"] + s["tarrow_login_schedule_lag_seconds_sum"] }' "$work/paced.txt")
check "duration sum = service + schedule lag ($sums)" test "${sums% *}" = "${sums#* }"

say "a monitor that cannot be read"
free_port nothing_port || exit 1
batch b2 --monitor "ldap://127.0.0.1:$nothing_port"
check "status 0" test "$batch_status" -eq 0
check "one warning with the reason" test "$(grep -c "^warning: the directory's counters at ldap://127.0.0.1:$nothing_port cannot be read: cannot connect" "$work/b2.err")" -eq 1
check "the run went on" has_line "There were 22 operations performed" "$work/b2.log"
check "the directory line says why" has_line "^directory: counters unavailable: cannot connect" "$work/b2.err"
batch b3 --monitor "ldap://$tree" --report "$work/r3"
jq_check "$work/r3/report.json" '.directory.source == "unavailable" and (.directory.reason | test("no monitor entries"))'
jq_check "$work/r3/report.json" '.directory | has("intervals") | not' 
check "anonymous: no monitor entries" has_line "^warning: .*shows this bind no monitor entries" "$work/b3.err"
check "status 0" test "$batch_status" -eq 0

say "a --web port in use"
batch b4 --web "$ldap_port"
check "status 1" test "$batch_status" -eq 1
check "the port is named" has_line "^error: --web: the live view cannot listen on 127.0.0.1:$ldap_port$" "$work/b4.err"
check "no login ran" test ! -s "$work/b4.log"

say "options that need others"
for args in "--monitor ldap://127.0.0.1:1|--monitor needs --batch" "--web 0|--web needs --batch" \
            "--batch --monitor-bind cn=m|--monitor-bind needs --monitor" "--batch --web-hold 2|--web-hold needs --web"; do
  # shellcheck disable=SC2086
  "$cli" ${args%%|*} >/dev/null 2>"$work/opt.err"
  status=$?
  check "${args%%|*}: status 2, \"${args#*|}\"" test "$status" -eq 2 -a "$(cat "$work/opt.err")" = "error: ${args#*|}"
done
finish
