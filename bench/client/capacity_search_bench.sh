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
# Every login is a new connection, and the side that closes keeps its port in TIME_WAIT for
# 60 s: a search at 1,000 logins a second fills the loopback's port range, and the next search
# would start where connecting has become slow. So each one (and the loop below) starts when
# the machine's TIME_WAIT sockets have drained, at most 90 s.
drain_time_wait() {
  local waited=0
  while [ "$(ss -tan state time-wait | wc -l)" -gt 1000 ] && [ "$waited" -lt 90 ]; do
    sleep 5
    waited=$((waited + 5))
  done
  echo "   (TIME_WAIT drained for $waited s: $(ss -tan state time-wait | wc -l) left)"
}
for round in 1 2 3; do
  drain_time_wait
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
drain_time_wait
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
