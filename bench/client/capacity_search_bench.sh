#!/usr/bin/env bash
# Figures for TarrowCli --find-capacity against a private slapd on 127.0.0.1, in one run:
#   1. three searches in a row with the same objective: each result, the whole search's time,
#      and their spread (the largest distance from their mean, in percent; goal within +-5 %);
#   2. beside them, the highest rate a plain libldap loop reaches doing the same per login
#      (new connection, simple bind, "Who am I?", unbind) on 1, 2, 4 and 8 threads for SECONDS s,
#      and each result as a share of it.
#   capacity_search_bench.sh BUILD_DIR [OBJECTIVE] [SECONDS]     defaults: p99<=20ms, 8
set -euo pipefail
build=$(cd "${1:?usage: capacity_search_bench.sh BUILD_DIR [OBJECTIVE] [SECONDS]}" && pwd)
objective=${2:-p99<=20ms}
seconds=${3:-8}
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
source "$(dirname "$0")/bench_slapd.sh"
bench_cli_setup "$build"

echo "== Three searches in a row: --find-capacity '$objective' (defaults: from 10/s, 2 %, 0.95, 180 s)"
results=()
for round in 1 2 3; do
  start=$(date +%s.%N)
  (cd "$work" && "$cli" --ini bench.ini --batch --answer-port 0 --find-capacity "$objective" \
    >"$work/search.out" 2>"$work/search.err") || true
  took=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')
  last=$(tail -n 1 "$work/search.out")
  rate=$(sed -n 's/^Capacity: \(at least \)\{0,1\}\([0-9.]*\) logins\/s.*/\2/p' <<<"$last")
  results+=("${rate:-0}")
  echo "   search $round: $last  (took $took s; $(grep -c '^capacity: .* logins/s: ' "$work/search.err") steps)"
done
awk -v list="${results[*]}" 'BEGIN {
  n = split(list, r, " "); for (i = 1; i <= n; i++) sum += r[i]; mean = sum / n
  for (i = 1; i <= n; i++) { d = (r[i] - mean) / mean * 100; if (d < 0) d = -d; if (d > worst) worst = d }
  printf "results %s logins/s; mean %.0f; spread +-%.1f %% of the mean (goal within +-5 %%)\n", list, mean, worst }'

echo "== A plain libldap loop on N threads for $seconds s"
best=0
for threads in 1 2 4 8; do
  ref=$("$loop" "ldap://127.0.0.1:$port" "$dn" benchpw "$threads" "$seconds")
  rate=$(awk '{ printf "%.0f", $3 }' <<<"$ref")
  echo "   $threads threads: $rate logins/s"
  [ "$rate" -gt "$best" ] && best=$rate
done
awk -v list="${results[*]}" -v best="$best" 'BEGIN {
  n = split(list, r, " "); printf "highest libldap loop rate %d logins/s; searches found", best
  for (i = 1; i <= n; i++) printf " %.2f", r[i] / best; print " of it" }'
