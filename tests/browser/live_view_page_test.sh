#!/usr/bin/env bash
# The live view of a controlled run in headless Chromium: TarrowCtrl --web serves the page on
# 127.0.0.1, the page draws every update it is pushed while the run goes on (no console error,
# nothing fetched from elsewhere, charts drawn, the numbers of the last update shown), and the
# run's report.html checks out against its report.json. Clients log in against the recording
# double with 5 ms logins; fixed ports, as every controlled run on loopback.
#   live_view_page_test.sh BUILD_DIR [SCREENSHOT_FOLDER]
set -euo pipefail
build=$(cd "$1" && pwd)
shots=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-live.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$work/ctrl.err" ] && tail -5 "$work/ctrl.err" >&2; exit 1; }

"$build/generator/cli/TarrowMgrCli" --num-users 50 --tree 127.0.0.1:1 --working-dir "$work/" \
  --csv-file Users.csv >/dev/null
sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Users.csv/' -e 's/^MaxDelay=90/MaxDelay=1/' \
  "$work/Tarrow.ini" > "$work/Run.ini"
(cd "$work" && QDSFAKE_LOGIN_DELAY_US=5000 LD_LIBRARY_PATH="$build/qds/fake" \
   exec "$build/client/cli/TarrowCli" --ini "$work/Run.ini" > "$work/client.log" 2>&1) &
pids+=($!)
# Made here, not by the redirection below: that happens in the child, maybe after the first look.
: > "$work/ctrl.err"
timeout 90 "$build/controller/TarrowCtrl" --ini "$work/TarrowCtrl.ini" --count 20 --web 0 \
  --report "$work/report" --quiet > "$work/ctrl.out" 2> "$work/ctrl.err" &
ctrl_pid=$!
pids+=($ctrl_pid)
url=""
for _ in $(seq 1 100); do
  url=$(sed -n 's/^TarrowCtrl: live view on \(http:\/\/127\.0\.0\.1:[0-9]*\/\)$/\1/p' "$work/ctrl.err")
  [ -n "$url" ] && break
  sleep 0.05
done
[ -n "$url" ] || fail "TarrowCtrl named no live view"

# Seven renders, a second apart: by then the clients have logged in a few times.
node "$here/check_page.mjs" "$url" --updates 7 ${shots:+--screenshot "$shots/live.png"} \
  || fail "the live page"
wait "$ctrl_pid" || fail "TarrowCtrl exited $?"
grep -qx "TarrowCtrl: report: $work/report/report.html" "$work/ctrl.err" || fail "the page is not named"
node "$here/check_page.mjs" "file://$work/report/report.html" --report "$work/report/report.json" \
  ${shots:+--screenshot "$shots/controlled.png"} || fail "the controlled run's report.html"
echo "live view: ok"
