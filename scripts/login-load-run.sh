#!/usr/bin/env bash
# One whole login-load run on loopback with programs already built in BUILD_DIR:
#   1. TarrowMgrCli writes the users file and both INI files;
#   2. a private slapd on 127.0.0.1 is seeded with exactly those users;
#   3. TarrowCli --batch runs a paced load of 10 s over the users file (a short curve: 20
#      logins a second for 3 s, a storm of 100 a second for 4 s, 50 a second for 3 s; the
#      file read again as often as needed) and prints its report and how closely the rate
#      was held;
#   4. TarrowCtrl deals the same users to a TarrowCli in client mode for LOGINS logins
#      and prints its summary; the client sends the timings of each login with its reply.
# Both runs write their reports (batch-report, ctrl-report: report.json, report.html and
# logins.csv), kept in RUN_REPORTS_TO or ./reports/<time>; the login latency of both is
# printed side by side at the end, then where the reports are.
# Everything it starts is stopped at the end, whatever happens.
#
#   login-load-run.sh BUILD_DIR [USERS] [LOGINS]
set -euo pipefail

build=$(cd "${1:?usage: login-load-run.sh BUILD_DIR [USERS] [LOGINS]}" && pwd)
users=${2:-20}
logins=${3:-10}
here=$(cd "$(dirname "$0")" && pwd)
slapd_script=$here/private-slapd.sh
mgr=$build/generator/cli/TarrowMgrCli
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
for program in "$mgr" "$cli" "$ctrl"; do
  [ -x "$program" ] || { echo "login-load-run: $program is not built" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-run.XXXXXX")
client_pid=""
cleanup() {
  if [ -n "$client_pid" ]; then
    kill -TERM "$client_pid" 2>/dev/null || true
    wait "$client_pid" 2>/dev/null || true
  fi
  bash "$slapd_script" stop "$work/slapd" >/dev/null 2>&1 || true
  if [ -z "${KEEP_RUN_FOLDER:-}" ]; then rm -rf "$work"; else echo "files kept in $work"; fi
}
trap cleanup EXIT

# The directory server's port is in the users file, so the files are written for each
# port tried; another program may take a free port before slapd binds it.
source "$here/free-port.sh"
for attempt in 1 2 3 4 5; do
  free_port port
  echo "== Writing $users users and both INI files"
  "$mgr" --num-users "$users" --tree "127.0.0.1:$port" --broadcast 127.255.255.255 \
         --working-dir "$work/" --csv-file Users.csv
  ls -l "$work"
  echo "== Starting a private directory server on 127.0.0.1:$port"
  bash "$slapd_script" start "$work/slapd" "$port" "$work/Users.csv" && break
  [ "$attempt" -lt 5 ] || { echo "login-load-run: slapd did not start on any of 5 ports" >&2; exit 1; }
  echo "== Trying another port"
done

# The generated client INI names no users file and waits up to 90 s between events;
# this run points it at the users file and keeps the delay at 1 s.
sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Users.csv/' -e 's/^MaxDelay=90/MaxDelay=1/' \
    "$work/Tarrow.ini" > "$work/TarrowRun.ini"

# Both runs read the directory's own counters (cn=Monitor) as the private slapd's monitor user.
export TARROW_MONITOR_PASSWORD
TARROW_MONITOR_PASSWORD=$(cat "$work/slapd/monitor.password")
monitor=(--monitor "ldap://127.0.0.1:$port" --monitor-bind cn=tarrow-monitor,cn=Monitor)

printf '# RATE,SECONDS: a quiet start, a login storm, then the day\n20,3\n100,4\n50,3\n' >"$work/curve.txt"
echo "== Batch run: TarrowCli --batch --rate-file curve.txt --duration 10 (610 logins in 10 s)"
(cd "$work" && "$cli" --ini "$work/TarrowRun.ini" --batch --rate-file "$work/curve.txt" --duration 10 \
  --report "$work/batch-report" "${monitor[@]}" 2>"$work/batch.err") | tee "$work/batch.log" | tail -n 8
grep -E '^(load|warning):' "$work/batch.err" || true

echo "== Controlled run: TarrowCtrl with one TarrowCli in client mode, $logins logins"
(cd "$work" && exec "$cli" --ini "$work/TarrowRun.ini" > "$work/client.log" 2> "$work/client.err") &
client_pid=$!
# Every login takes at most MaxDelay plus the directory time-outs, so the bound is generous.
timeout $((30 + logins * 10)) "$ctrl" --ini "$work/TarrowCtrl.ini" --count "$logins" \
  --csv "$work/replies.csv" --report "$work/ctrl-report" --quiet "${monitor[@]}" | tee "$work/controller.log"
# (TarrowCtrl prints its own directory line above.)
echo "== Batch run's directory: $(sed -n 's/^directory: //p' "$work/batch.err")"
echo "== Client log (last lines)"
tail -n 6 "$work/client.log"
echo "== Login latency p50 (us): batch $(jq '.latency_us.p50' "$work/batch-report/report.json")," \
     "controlled $(jq '.latency_us.p50' "$work/ctrl-report/report.json")" \
     "(reply time p50 $(jq '.reply_ms.p50' "$work/ctrl-report/report.json") ms)"
# The reports outlive the run folder: in RUN_REPORTS_TO, or reports/<time> in the current folder.
reports=${RUN_REPORTS_TO:-$PWD/reports/$(date -u +%Y%m%dT%H%M%SZ)}
mkdir -p "$reports"
cp -r "$work/batch-report" "$work/ctrl-report" "$reports/"
echo "== Reports (open in a browser; tarrow-compare compares two report.json):"
echo "   $reports/batch-report/report.html"
echo "   $reports/ctrl-report/report.html"
