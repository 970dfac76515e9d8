#!/usr/bin/env bash
# The fleet at two sizes in one run: K = 20 workstations (200 logins) as the reference and
# K = 200 (2000 logins), each on a virtual subnet made by scripts/fleet.sh (root). Prints, side by
# side with their ratio: setting up the namespaces and links, the time from the workstations'
# start until every client is connected (the clients' first announcement goes out 5 s after
# start), logins per second while all work, the controller's CPU time per login and what one
# workstation costs: the memory of one client process, the controller's descriptors for it and
# the kernel's memory for its namespace and link.
#
#   fleet_bench.sh BUILD_DIR [K...]      (K defaults to 200; at most 1021, one bridge)
#
# Each further K adds a column; the ratio is that of the last K to K = 20.
set -euo pipefail
build=$(cd "${1:?usage: fleet_bench.sh BUILD_DIR [K...]}" && pwd)
shift
sizes=(20 "${@:-200}")
fleet=$(cd "$(dirname "$0")/../../scripts" && pwd)/fleet.sh
[ "$(id -u)" -eq 0 ] || { echo "fleet_bench: needs root (network namespaces)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-fleet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

for k in "${sizes[@]}"; do
  echo "== fleet of $k workstations, $((10 * k)) logins"
  bash "$fleet" --build "$build" --run-dir "$work/k$k" "$k" "$((10 * k))" >"$work/k$k.out" 2>&1 \
    || { tail -n 20 "$work/k$k.out"; echo "fleet_bench: the fleet of $k failed" >&2; exit 1; }
  grep -E '^== (Fleet:|All )' "$work/k$k.out"
done

metric() { awk -F= -v key="$2" '$1 == key { print $2 }' "$work/k$1/metrics.txt"; }
cpu_per_login() { awk -v ms="$(metric "$1" ctrl_cpu_ms)" -v n="$(metric "$1" replies)" 'BEGIN { printf "%.3f", ms / n }'; }
spread() { awk -v a="$(metric "$1" first_connected_s)" -v b="$(metric "$1" all_connected_s)" 'BEGIN { printf "%.1f", b - a }'; }
row() {  # LABEL FIGURE ARGS...: FIGURE K ARGS... gives the figure of the fleet of K
  local label=$1 figure=$2 k values=()
  shift 2
  for k in "${sizes[@]}"; do values+=("$("$figure" "$k" "$@")"); done
  printf '%-46s' "$label"
  printf ' %10s' "${values[@]}"
  awk -v a="${values[0]}" -v b="${values[-1]}" 'BEGIN { printf " %8s\n", (a + 0 > 0) ? sprintf("%.2f", b / a) : "-" }'
}
echo
printf '%-46s' "figure"
printf ' %10s' "${sizes[@]/#/K=}"
printf ' %8s\n' "ratio"
row "namespaces and links set up (ms)" metric setup_ms
row "start until the last client was started (s)" metric clients_started_s
row "start until every client connected (s)" metric all_connected_s
row "  first to last connection (s)" spread
row "logins per second, first to last reply" metric logins_per_s
row "logins per second while every client works" metric logins_per_s_all_working
row "controller CPU per login (ms)" cpu_per_login
row "client process, resident (KiB)" metric client_rss_kib
row "client process, proportional share (KiB)" metric client_pss_kib
row "controller descriptors per client" metric ctrl_fds_per_client
row "kernel memory per namespace, Slab+Percpu (KiB)" metric kernel_kib_per_namespace
echo "(logins per second: each client logs in once per MaxDelay = 1 s, so the ideal ratio is K / 20)"
