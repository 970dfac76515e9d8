#!/usr/bin/env bash
# The fleet at a chosen rate against the directory host's slapd, beside the same fleet without
# a rate, in one run (scripts/fleet.sh, root): K workstations (default 50) at RATE logins a
# second (default 500) for 12 s of logins, then K workstations with their own 1 s delays for
# 20 logins each. Prints how closely the rate was held in every full second after all clients
# were connected (logins started against the target), the controller's own lag (due to packet
# sent) and the schedule lag (due to start, with the clients' lag), and the controller's CPU
# time per login with and without the rate, with their ratio.
#
#   paced_fleet_bench.sh BUILD_DIR [K] [RATE] [LEAD_S]
# LEAD_S (default 0): the curve starts with a pause of that many seconds, for a large fleet whose
# clients take longer than that to connect (the schedule starts with the first of them).
set -euo pipefail
build=$(cd "${1:?usage: paced_fleet_bench.sh BUILD_DIR [K] [RATE]}" && pwd)
k=${2:-50}
rate=${3:-500}
lead=${4:-0}
fleet=$(cd "$(dirname "$0")/../../scripts" && pwd)/fleet.sh
[[ "$lead" =~ ^[0-9]+$ ]] || { echo "paced_fleet_bench: LEAD_S is whole seconds" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "paced_fleet_bench: needs root (network namespaces)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-paced-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

paced_logins=$((rate * 12))
echo "== fleet of $k workstations at $rate logins a second, $paced_logins logins"
pace=(--rate "$rate")
if [ "$lead" -gt 0 ]; then
  printf '0,%s\n%s,12\n' "$lead" "$rate" >"$work/curve.txt"
  pace=(--rate-file "$work/curve.txt")
  echo "   (a pause of $lead s first, while the clients connect)"
fi
bash "$fleet" --build "$build" --run-dir "$work/paced" "${pace[@]}" "$k" "$paced_logins" >"$work/paced.out" 2>&1 \
  || { tail -n 30 "$work/paced.out"; echo "paced_fleet_bench: the paced fleet failed" >&2; exit 1; }
grep -E '^== (Fleet:|All )|^  (pace|paced times|fleet|controller lag|stalled):' "$work/paced.out"
echo "== the same fleet without a rate, $((20 * k)) logins"
bash "$fleet" --build "$build" --run-dir "$work/plain" "$k" "$((20 * k))" >"$work/plain.out" 2>&1 \
  || { tail -n 30 "$work/plain.out"; echo "paced_fleet_bench: the plain fleet failed" >&2; exit 1; }
grep -E '^== (Fleet:|All )' "$work/plain.out"

r=$work/paced/report/report.json
metric() { awk -F= -v key="$2" '$1 == key { print $2 }' "$work/$1/metrics.txt"; }
cpu_per_login() { awk -v ms="$(metric "$1" ctrl_cpu_ms)" -v n="$(metric "$1" replies)" 'BEGIN { printf "%.4f", ms / n }'; }
# Full seconds after the one in which the last client connected, while the whole target was due.
held=$(jq -r --argjson k "$k" --argjson rate "$rate" '
  [.load.seconds[]] as $s
  | ([$s[] | select(.clients >= $k) | .t_s] | min) as $first
  | [$s[] | select($first != null and .t_s > $first and .due == $rate) | .started]
  | if length == 0 then "none" else
      "\(length) \(((min - $rate) * 100 / $rate) * 100 | round / 100) \(((max - $rate) * 100 / $rate) * 100 | round / 100)"
    end' "$r")
echo
printf "%-58s %s\n" "full seconds with all $k connected (count, lowest %, highest %)" "$held"
printf "%-58s %s\n" "controller lag p99, due to packet sent (us)" "$(jq '.load.fleet.controller_lag_p99_us' "$r")"
printf "%-58s %s\n" "schedule lag p50 / p99, due to start (us)" "$(jq -r '"\(.schedule_lag_us.p50) / \(.schedule_lag_us.p99)"' "$r")"
printf "%-58s %s\n" "latency p50 / p99 from due (us)" "$(jq -r '"\(.latency_us.p50) / \(.latency_us.p99)"' "$r")"
printf "%-58s %s\n" "service p50 / p99 (us)" "$(jq -r '"\(.service_us.p50) / \(.service_us.p99)"' "$r")"
printf "%-58s %s\n" "logins that waited for a free client (%)" "$(jq '.load.fleet.waited_pct' "$r")"
paced_cpu=$(cpu_per_login paced)
plain_cpu=$(cpu_per_login plain)
printf "%-58s %s\n" "controller CPU per login, paced (ms)" "$paced_cpu"
printf "%-58s %s\n" "controller CPU per login, without a rate (ms)" "$plain_cpu"
printf "%-58s %s\n" "ratio paced / without a rate" "$(awk -v a="$paced_cpu" -v b="$plain_cpu" 'BEGIN { printf "%.2f", a / b }')"
