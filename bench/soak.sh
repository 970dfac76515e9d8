#!/usr/bin/env bash
# A soak: the main job's controlled run for MINUTES at the highest login rate one machine gives
# (MaxDelay 1, K workstations), with the resident memory and the open descriptors of every
# process sampled each 10 s. Prints their growth from the first to the last five minutes (the
# first and last third when the run is shorter than 15 minutes; the first window starts once
# the clients have had a minute, a tenth of a short run, to connect) and the controller's
# figures.
#
#   soak.sh [--build DIR] [--clients K] [--users N] [--run-dir DIR] [MINUTES]      (root)
#
# The workstations, the controller and the directory are hosts of a virtual subnet made of
# network namespaces (scripts/fleet-subnet.sh: 10.231.0.0/21, the bridge in a namespace of its
# own; nothing of the machine's own network changes and nothing is sent outside). K defaults to
# 200: each client logs in about once a second with MaxDelay 1. Every namespace and process made
# here is removed at the end, also on failure and on Ctrl-C.
#
# Exit status 0 when the run ended with its report and no login ended in an error that the
# directory did not cause (every error text is printed with its count); 1 otherwise.
set -euo pipefail

here=$(cd "$(dirname "$0")/../scripts" && pwd)
die() { echo "soak: $*" >&2; exit 2; }
is_uint() { [[ "$1" =~ ^[0-9]+$ ]]; }
build=""
k=200
users=1000
run=""
minutes=30
while [ $# -gt 0 ]; do
  case "$1" in
    --build) [ $# -ge 2 ] || die "--build needs a folder"; build=$2; shift 2 ;;
    --clients) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -ge 1 ] && [ "$2" -le 240 ] || die "--clients needs 1 to 240"; k=$2; shift 2 ;;
    --users) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -ge 1 ] || die "--users needs a number from 1"; users=$2; shift 2 ;;
    --run-dir) [ $# -ge 2 ] || die "--run-dir needs a folder"; run=$2; shift 2 ;;
    -h|--help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) die "unknown option $1" ;;
    *) is_uint "$1" && [ "$1" -ge 1 ] || die "MINUTES must be whole minutes from 1, got \"$1\""; minutes=$1; shift ;;
  esac
done
[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces)"
command -v ip >/dev/null && command -v jq >/dev/null || die "needs ip and jq (scripts/install-deps.sh)"
if [ -z "$build" ]; then
  (cd "$here/.." && cmake --preset release >/dev/null && cmake --build --preset release -j "$(nproc)" >/dev/null) \
    || die "the build failed"
  build=$here/../build/release
fi
build=$(cd "$build" && pwd)
mgr=$build/generator/cli/TarrowMgrCli
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
for program in "$mgr" "$cli" "$ctrl"; do [ -x "$program" ] || die "$program is not built"; done

ns_prefix=tarrowfleet$$   # the fleet's prefix, so that the fleet's sweep knows ours too
source "$here/fleet-subnet.sh"
hosts=(dir ctrl)
for i in $(seq 1 "$k"); do hosts+=("ws$i"); done
if [ -z "$run" ]; then run=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-soak.XXXXXX"); else mkdir -p "$run" && run=$(cd "$run" && pwd); fi

pids=()
sampler=""
cleanup() {
  local status=$?
  set +e
  [ -n "$sampler" ] && kill "$sampler" 2>/dev/null
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
  PRIVATE_SLAPD_ADDRESS=$dir_addr bash "$here/private-slapd.sh" stop "$run/slapd" >/dev/null 2>&1
  echo "== Removed $(remove_namespaces) network namespaces; run folder $run"
  wait 2>/dev/null
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
sweep_stale

echo "== Soak: $minutes min, $k workstations with MaxDelay 1, $users users, on $subnet"
make_subnet "$run/hosts.txt"
"$mgr" --num-users "$users" --tree "$dir_addr:389" --broadcast "$broadcast" --working-dir "$run/" \
       --csv-file Users.csv >"$run/generator.log"
sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Users.csv/' -e 's/^MaxDelay=90/MaxDelay=1/' \
    "$run/Tarrow.ini" >"$run/TarrowRun.ini"
ip netns exec "$(ns_of dir)" env PRIVATE_SLAPD_ADDRESS="$dir_addr" \
  bash "$here/private-slapd.sh" start "$run/slapd" 389 "$run/Users.csv" >/dev/null
slapd_pid=$(cat "$run/slapd/slapd.pid" 2>/dev/null || ip netns pids "$(ns_of dir)" | head -n 1)

duration_s=$((minutes * 60))
ip netns exec "$(ns_of ctrl)" "$ctrl" --ini "$run/TarrowCtrl.ini" --duration "$duration_s" \
  --report "$run/report" --quiet >"$run/controller.log" 2>"$run/controller.err" &
ctrl_pid=$!
pids+=($ctrl_pid)
for _ in $(seq 100); do grep -q listening "$run/controller.err" 2>/dev/null && break; sleep 0.05; done
grep -q listening "$run/controller.err" || die "TarrowCtrl did not start: $(cat "$run/controller.err")"
client_pids=()
for i in $(seq 1 "$k"); do
  mkdir -p "$run/ws$i"
  (cd "$run/ws$i" && exec ip netns exec "$(ns_of "ws$i")" "$cli" --ini "$run/TarrowRun.ini" \
     >/dev/null 2>"$run/ws$i/client.err") &
  client_pids+=($!)
done
pids+=("${client_pids[@]}")

# One line per process and sample: seconds since start, role, pid, resident KiB, descriptors.
# The controller's pid is that of ip netns exec, which execs TarrowCtrl: the same process.
sample() {
  local t=$1 role pid rss fds
  while read -r role pid; do
    [ -r "/proc/$pid/status" ] || continue
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
    fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l)
    [ -n "$rss" ] && echo "$t $role $pid $rss $fds"
  done < <(echo "slapd $slapd_pid"; echo "controller $ctrl_pid"; for p in "${client_pids[@]}"; do echo "client $p"; done)
}
start=$(date +%s)
(
  while :; do
    sample $(( $(date +%s) - start ))
    sleep 10
  done
) >"$run/samples.txt" &
sampler=$!
echo "== Running until $(date -d "@$((start + duration_s))" +%H:%M:%S); samples in $run/samples.txt"
status=0
wait "$ctrl_pid" || status=$?
kill "$sampler" 2>/dev/null; sampler=""
[ "$status" -eq 0 ] || { echo "soak: TarrowCtrl ended with status $status: $(tail -n 3 "$run/controller.err")" >&2; exit 1; }

# Growth per role: the mean of the samples in the first window against those in the last; for
# the clients, the mean over every client (and the largest single client's growth).
window=$((minutes >= 15 ? 300 : duration_s / 3))
warm=$((minutes >= 10 ? 60 : duration_s / 10))
echo
echo "== Resident memory and descriptors, ${warm} to $((warm + window)) s against the last ${window} s of $duration_s s"
awk -v w="$window" -v d="$duration_s" -v warm="$warm" '
  { t = $1; role = $2; pid = $3
    if (t >= warm && t < warm + w) { fr[role] += $4; ff[role] += $5; fn[role]++; pfr[pid] += $4; pfn[pid]++ }
    else if (t >= d - w) { lr[role] += $4; lf[role] += $5; ln[role]++; plr[pid] += $4; pln[pid]++ }
    roleof[pid] = role }
  END {
    printf "%-11s %14s %14s %9s %9s %9s %9s\n", "process", "rss_first_kib", "rss_last_kib", "growth_%", "fds_first", "fds_last", "samples"
    n = split("slapd controller client", roles, " ")
    for (i = 1; i <= n; i++) { r = roles[i]
      if (!fn[r] || !ln[r]) { printf "%-11s %14s\n", r, "(no samples)"; continue }
      a = fr[r] / fn[r]; b = lr[r] / ln[r]
      printf "%-11s %14.0f %14.0f %9.2f %9.1f %9.1f %4d/%-4d\n", r, a, b, (b - a) * 100 / a, ff[r] / fn[r], lf[r] / ln[r], fn[r], ln[r] }
    worst = -1e9
    for (p in roleof) if (roleof[p] == "client" && pfn[p] && pln[p]) {
      g = plr[p] / pln[p] - pfr[p] / pfn[p]; if (g > worst) { worst = g; wp = p } }
    if (worst > -1e9) printf "largest growth of one client: %.0f KiB (pid %s)\n", worst, wp
  }' "$run/samples.txt"

r=$run/report/report.json
[ -f "$r" ] || { echo "soak: no report was written" >&2; exit 1; }
echo
echo "== Controller"
jq -r '"logins performed \(.logins.performed), successful \(.logins.successful), failed \(.logins.failed), errors \(.logins.errors), indeterminate \(.logins.indeterminate | if type == "array" then length else . end), packets sent \(.logins.packets_sent)",
       "logins per second \(.logins_per_s), login latency p50 \(.latency_us.p50) us, p99 \(.latency_us.p99) us, max \(.latency_us.max) us",
       "outages \(.outages | length)"' "$r"
echo "indeterminate logins by reason (those of \"run stopped\" are the leases the end of the run cut):"
jq -r '.indeterminate | group_by(.reason)[] | "  \(length)  \(.[0].reason)"' "$r"
echo "errors by message:"
jq -r '.errors_by_message | to_entries[] | "  \(.value)  \(.key)"' "$r"
# Every error of a soak against a healthy private directory is one to look at.
errors=$(jq '.logins.errors + .logins.failed' "$r")
[ "$errors" -eq 0 ] || { echo "soak: $errors logins did not succeed (see above and $run)" >&2; exit 1; }
