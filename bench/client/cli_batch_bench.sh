#!/usr/bin/env bash
# Figures for TarrowCli --batch, each beside a reference measured in the same run:
#   1. LINES lines against the recording directory double (no network): lines per second;
#   2. LOGINS logins against a private slapd on 127.0.0.1, beside a plain libldap loop
#      doing the same per login (new connection, simple bind, who-am-I, unbind): the ratio;
#   3. --report DIR against the same slapd: runs with the report and without, alternated
#      (PAIRS pairs of LOGINS lines, order swapped every pair), each timed by its own
#      "It took" line: the rate with it over the rate without (target >= 0.97); the report's p50 beside the libldap loop's p50 measured
#      between the runs (target: within a factor 1.5), and the phases' p50s against the
#      total's (target: their sum at most 1.05 times it); one CSV row per login;
#   4. the same alternation against the recording double, LINES / 10 lines a run.
#   cli_batch_bench.sh BUILD_DIR [LINES] [LOGINS] [PAIRS]
set -euo pipefail
build=$(cd "${1:?usage: cli_batch_bench.sh BUILD_DIR [LINES] [LOGINS]}" && pwd)
lines=${2:-1000000}
logins=${3:-3000}
pairs=${4:-5}
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
cli=$build/client/cli/TarrowCli
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-bench.XXXXXX")
trap 'bash "$scripts/private-slapd.sh" stop "$work/slapd" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
now() { date +%s.%N; }

printf '[General]\r\nWorkloadUsersFile=users.csv\r\n' > "$work/bench.ini"

echo "== TarrowCli --batch, $lines lines, recording double"
"$build/generator/cli/TarrowMgrCli" --num-users "$lines" --working-dir "$work/" --csv-file users.csv >/dev/null
t0=$(now)
(cd "$work" && LD_LIBRARY_PATH="$build/qds/fake" "$cli" --ini bench.ini --batch --answer-port 0 2>/dev/null | tail -n 3)
t1=$(now)
awk -v n="$lines" -v a="$t0" -v b="$t1" 'BEGIN { printf "lines/s: %.0f (target >= 300000)\n", n / (b - a) }'

echo "== TarrowCli --batch against slapd, beside a plain libldap loop, $logins logins each"
source "$(dirname "$0")/bench_slapd.sh"
start_bench_slapd "$work" "$logins"
t0=$(now)
(cd "$work" && "$cli" --ini bench.ini --batch --answer-port 0 2>/dev/null | tail -n 1)
t1=$(now)
ref=$("$build/bench/directory/ldap_login_loop" "ldap://127.0.0.1:$port" \
      "$dn" benchpw "$logins")
awk -v n="$logins" -v a="$t0" -v b="$t1" -v ref="$ref" 'BEGIN {
  split(ref, r, " "); cli = n / (b - a)
  printf "TarrowCli: %.0f logins/s; libldap loop: %.0f logins/s; ratio %.3f (target >= 0.9)\n", cli, r[3], cli / r[3] }'

# A figure of report.json: section and key, as the report writes them (two-space indent,
# one key a line).
figure() {
  awk -v section="\"$2\": {" -v key="\"$3\":" '
    index($0, section) { inside = 1; next }
    inside && /^  [}]/ { inside = 0 }
    inside && index($0, key) { v = $0; sub(/.*: /, "", v); sub(/,$/, "", v); print v; exit }' "$1"
}
# The seconds one batch run over users.csv takes by its own "It took: HH:MM:SS:mmm" line (the
# run itself, without the program's start and end), with the extra options given.
timed_run() {
  (cd "$work" && "$@" "$cli" --ini bench.ini --batch --answer-port 0 "${extra[@]}" 2>/dev/null) |
    awk '/^It took: / { split($3, t, ":"); printf "%.3f", t[1] * 3600 + t[2] * 60 + t[3] + t[4] / 1000 }'
}
alternate() {  # alternate LINES ENV...: PAIRS pairs with and without --report
  local lines=$1; shift
  local with=0 without=0 ratios=() w o
  for i in $(seq 1 "$pairs"); do
    if [ $((i % 2)) -eq 1 ]; then
      extra=(--report "$work/report"); w=$(timed_run "$@")
      extra=(); o=$(timed_run "$@")
    else
      extra=(); o=$(timed_run "$@")
      extra=(--report "$work/report"); w=$(timed_run "$@")
    fi
    with=$(awk -v s="$with" -v t="$w" 'BEGIN { print s + t }')
    without=$(awk -v s="$without" -v t="$o" 'BEGIN { print s + t }')
    ratios+=("$(awk -v w="$w" -v o="$o" 'BEGIN { printf "%.4f", o / w }')")
  done
  local median
  median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  awk -v n="$lines" -v p="$pairs" -v w="$with" -v o="$without" -v m="$median" 'BEGIN {
    printf "with --report: %.0f lines/s; without: %.0f lines/s; ratio %.3f, median of %d pairs %.3f (target >= 0.97)\n",
           n * p / w, n * p / o, o / w, p, m }'
}

echo "== TarrowCli --batch --report against slapd, alternated with runs without, $pairs pairs of $logins logins"
alternate "$logins" env
ref=$("$build/bench/directory/ldap_login_loop" "ldap://127.0.0.1:$port" \
      "$dn" benchpw "$logins")
json=$work/report/report.json
p50=$(figure "$json" latency_us p50)
phases=0
for ph in connect tls bind verify unbind; do
  phases=$((phases + $(figure "$json" "$ph" p50)))
done
rows=$(($(wc -l < "$work/report/logins.csv") - 1))
awk -v p50="$p50" -v ref="$ref" -v ph="$phases" -v rows="$rows" -v n="$logins" 'BEGIN {
  split(ref, r, " ")
  printf "report p50 %d us; libldap loop p50 %d us; ratio %.3f (target within 1.5)\n", p50, r[4], p50 / r[4]
  printf "phases p50s add up to %d us = %.3f of the total p50 (target <= 1.05); CSV rows %d of %d logins\n",
         ph, ph / p50, rows, n }'

echo "== TarrowCli --batch --report against the recording double, $pairs pairs of $((lines / 10)) lines"
"$build/generator/cli/TarrowMgrCli" --num-users "$((lines / 10))" --working-dir "$work/" --csv-file users.csv >/dev/null
alternate "$((lines / 10))" env LD_LIBRARY_PATH="$build/qds/fake"
