#!/usr/bin/env bash
# The fleet at two sizes in one run: K = 20 workstations (200 logins) as the reference and
# K = 200 (2000 logins), each on a virtual subnet made by scripts/fleet.sh (root). Prints, side by
# side with their ratio: setting up the namespaces and links, the time from the workstations'
# start until every client is connected (the clients' first announcement goes out 5 s after
# start), logins per second while all work, the controller's CPU time per login and what one
# workstation costs: the memory of one client process, the controller's descriptors for it and
# the kernel's memory for its namespace and link.
#
#   fleet_bench.sh BUILD_DIR [BIG_K]      (BIG_K defaults to 200; at most 1021, one bridge)
set -euo pipefail
build=$(cd "${1:?usage: fleet_bench.sh BUILD_DIR [BIG_K]}" && pwd)
big=${2:-200}
fleet=$(cd "$(dirname "$0")/../../scripts" && pwd)/fleet.sh
[ "$(id -u)" -eq 0 ] || { echo "fleet_bench: needs root (network namespaces)" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-fleet-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

for k in 20 "$big"; do
  echo "== fleet of $k workstations, $((10 * k)) logins"
  bash "$fleet" --build "$build" --run-dir "$work/k$k" "$k" "$((10 * k))" >"$work/k$k.out" 2>&1 \
    || { tail -n 20 "$work/k$k.out"; echo "fleet_bench: the fleet of $k failed" >&2; exit 1; }
  grep -E '^== (Fleet:|All )' "$work/k$k.out"
done

metric() { awk -F= -v key="$2" '$1 == key { print $2 }' "$work/k$1/metrics.txt"; }
row() {  # LABEL SMALL BIG
  awk -v label="$1" -v a="$2" -v b="$3" 'BEGIN {
    r = (a + 0 > 0) ? sprintf("%.2f", b / a) : "-"
    printf "%-44s %12s %12s %8s\n", label, a, b, r }'
}
cpu_per_login() { awk -v ms="$(metric "$1" ctrl_cpu_ms)" -v n="$(metric "$1" replies)" 'BEGIN { printf "%.3f", ms / n }'; }
spread() { awk -v a="$(metric "$1" first_connected_s)" -v b="$(metric "$1" all_connected_s)" 'BEGIN { printf "%.1f", b - a }'; }
echo
printf "%-44s %12s %12s %8s\n" "figure" "K=20" "K=$big" "ratio"
row "namespaces and links set up (ms)" "$(metric 20 setup_ms)" "$(metric "$big" setup_ms)"
row "start until the last client was started (s)" "$(metric 20 clients_started_s)" "$(metric "$big" clients_started_s)"
row "start until every client connected (s)" "$(metric 20 all_connected_s)" "$(metric "$big" all_connected_s)"
row "  first to last connection (s)" "$(spread 20)" "$(spread "$big")"
row "logins per second, first to last reply" "$(metric 20 logins_per_s)" "$(metric "$big" logins_per_s)"
row "logins per second while every client works" "$(metric 20 logins_per_s_all_working)" "$(metric "$big" logins_per_s_all_working)"
row "controller CPU per login (ms)" "$(cpu_per_login 20)" "$(cpu_per_login "$big")"
row "client process, resident (KiB)" "$(metric 20 client_rss_kib)" "$(metric "$big" client_rss_kib)"
row "client process, proportional share (KiB)" "$(metric 20 client_pss_kib)" "$(metric "$big" client_pss_kib)"
row "controller descriptors per client" "$(metric 20 ctrl_fds_per_client)" "$(metric "$big" ctrl_fds_per_client)"
row "kernel memory per namespace, Slab+Percpu (KiB)" "$(metric 20 kernel_kib_per_namespace)" "$(metric "$big" kernel_kib_per_namespace)"
echo "(logins per second: each client logs in once per MaxDelay = 1 s, so 10.00 is the ideal ratio)"
