#!/usr/bin/env bash
# The login latency of a controlled run beside that of a batch run against the same private
# slapd, and the same comparison for a plain libldap loop, in one run:
#   1. the libldap loop, logins back to back (as a batch run does them);
#   2. TarrowCli --batch over LOGINS lines: its report's login p50;
#   3. the libldap loop again, waiting a random 0 to 1000 ms before each login (as a client
#      paced by a controller with MaxDelay 1 does), the wait outside the login's time;
#   4. TarrowCtrl with one TarrowCli in client mode, MaxDelay 1, LOGINS logins, on test ports.
# Prints the p50 of each, the ratio controlled / batch (target: at most 1.5) and the ratio of
# the paced loop to the loop back to back. When the second is as large as the first, the gap
# is the cost of starting a login on a machine that has been idle (its processors asleep, its
# caches cold), which a plain libldap program pays as much as ours.
#
#   controlled_vs_batch_bench.sh BUILD_DIR [LOGINS]      (LOGINS defaults to 120)
set -euo pipefail
build=$(cd "${1:?usage: controlled_vs_batch_bench.sh BUILD_DIR [LOGINS]}" && pwd)
logins=${2:-120}
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
mgr=$build/generator/cli/TarrowMgrCli
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
loop=$build/bench/directory/ldap_login_loop
for program in "$mgr" "$cli" "$ctrl" "$loop"; do [ -x "$program" ] || { echo "bench: $program is not built" >&2; exit 1; }; done
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-cvb.XXXXXX")
client_pid=""
cleanup() {
  [ -n "$client_pid" ] && kill -TERM "$client_pid" 2>/dev/null && wait "$client_pid" 2>/dev/null
  bash "$scripts/private-slapd.sh" stop "$work/slapd" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

source "$scripts/free-port.sh"
free_port port || exit 1
"$mgr" --num-users 20 --tree "127.0.0.1:$port" --broadcast 127.255.255.255 --working-dir "$work/" \
       --csv-file Users.csv >/dev/null
bash "$scripts/private-slapd.sh" start "$work/slapd" "$port" "$work/Users.csv" >/dev/null
# The 20 users over and over, LOGINS lines, for both runs.
awk -v n="$logins" '{ line[NR] = $0 } END { for (i = 0; i < n; i++) print line[i % NR + 1] }' \
  "$work/Users.csv" > "$work/Run.csv"
sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Run.csv/' -e 's/^MaxDelay=90/MaxDelay=1/' \
    "$work/Tarrow.ini" > "$work/Run.ini"
sed -e 's/^UserFile=.*/UserFile=Run.csv\r/' "$work/TarrowCtrl.ini" > "$work/RunCtrl.ini"
IFS=, read -r user password _ context _ < "$work/Users.csv"
dn="cn=$user,$(awk -F. '{ for (i = 1; i < NF; i++) printf "ou=%s,", $i; printf "o=%s", $NF }' <<<"$context")"
url="ldap://127.0.0.1:$port"

echo "== 1. libldap loop, $logins logins back to back"
hot=$("$loop" "$url" "$dn" "$password" "$logins" | awk '{ print $4 }')
echo "== 2. TarrowCli --batch, $logins logins"
(cd "$work" && "$cli" --ini "$work/Run.ini" --batch --answer-port 0 --report "$work/batch" >/dev/null 2>&1)
batch=$(jq '.latency_us.p50' "$work/batch/report.json")
echo "== 3. libldap loop, $logins logins, a random 0 to 1000 ms before each"
paced=$(LOGIN_LOOP_PAUSE_MAX_MS=1000 "$loop" "$url" "$dn" "$password" "$logins" | awk '{ print $4 }')
echo "== 4. TarrowCtrl and one TarrowCli in client mode, MaxDelay 1, $logins logins"
free_port udp && free_port answer && free_port tcp || exit 1
(cd "$work" && exec "$cli" --ini "$work/Run.ini" --discover-port "$udp" --answer-port "$answer" \
   --control-port "$tcp" >/dev/null 2>&1) &
client_pid=$!
timeout $((60 + logins * 3)) "$ctrl" --ini "$work/RunCtrl.ini" --count "$logins" --discovery-port "$udp" \
  --answer-port "$answer" --control-port "$tcp" --report "$work/ctrl" --quiet >/dev/null 2>"$work/ctrl.err" \
  || { cat "$work/ctrl.err" >&2; exit 1; }
controlled=$(jq '.latency_us.p50' "$work/ctrl/report.json")
reply=$(jq '.reply_ms.p50' "$work/ctrl/report.json")

echo
printf '%-44s %10s\n' "login p50 (us)" ""
printf '%-44s %10s\n' "libldap loop, back to back" "$hot" "TarrowCli --batch" "$batch" \
  "libldap loop, paced 0-1000 ms" "$paced" "controlled run, MaxDelay 1" "$controlled"
printf '%-44s %10s\n' "controlled run: reply time p50 (ms)" "$reply"
awk -v b="$batch" -v c="$controlled" -v h="$hot" -v p="$paced" 'BEGIN {
  printf "controlled / batch: %.2f (target <= 1.5); paced loop / loop back to back: %.2f\n", c / b, p / h
  printf "controlled / batch over paced / back to back: %.2f\n", (c / b) / (p / h) }'
