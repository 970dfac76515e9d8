#!/usr/bin/env bash
# A fleet on a real subnet: K workstation hosts, one controller host and one directory host,
# each a network namespace of its own, joined by a bridge that lives in a further namespace.
# The subnet (10.231.0.0/21) exists only inside these namespaces; nothing of the machine's own
# network namespace is changed, and nothing is sent outside the namespaces made here.
#
#   fleet.sh [options] [K] [LOGINS]      (root)
#
# K workstations (default 20, at most 1021: the ports of one bridge) each run TarrowCli in client
# mode with the Tarrow.ini that TarrowMgrCli wrote for the subnet's directed broadcast address
# (10.231.7.255); TarrowCtrl hands out LOGINS logins (default 10 per workstation); the directory
# host runs a private slapd seeded with the users file. The controller's summary is printed, and
# the run folder with its CSV and every log is kept. Every namespace, link and process made here
# is removed at the end, also on failure and on Ctrl-C. See the README ("A fleet on a virtual
# subnet") for the options and the faults.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source "$here/fleet-subnet.sh"
usage() {
  cat <<'USAGE'
Usage: fleet.sh [options] [K] [LOGINS]
  K                       workstation hosts (1 to 1021, default 20)
  LOGINS                  logins the controller hands out (default 10 per workstation)
Options:
  --build DIR             the built programs (default: install what is missing and build
                          the release preset of this tree, then take build/release)
  --run-dir DIR           the run folder (default: a new folder under $TMPDIR or /tmp)
  --users N               users in the generated users file (default 20)
  --max-delay S           the clients' MaxDelay in seconds (default 1; the generator writes 90)
  --reply-timeout S       the controller's --reply-timeout (default: its own, 150)
  --link-down HOST:DOWN:UP
                          take HOST's link (dir, ctrl or wsN) down DOWN seconds after the
                          workstations started and up again at UP; may be given again
  --ctrl-down DOWN:UP     shut the controller host down at DOWN (TarrowCtrl stopped as by
                          SIGTERM, then its link down) and bring it back at UP (link up, a new
                          TarrowCtrl for the logins still missing)
  --dir-delay-ms MS       every exchange with the directory goes through a relay on the
                          directory host that holds each chunk toward the directory MS ms
  --batch                 after the controlled run, ws1 runs TarrowCli --batch over the users
                          file: directly, and through the relay when --dir-delay-ms is set
  --timeout S             bound of the controlled run (default: from LOGINS, K and MaxDelay)
  --rate R                the controller paces the fleet at R logins a second (TarrowCtrl
                          --rate R, report in the run folder's report/); its summary gives
                          the logins due, started and ended in each second
  --rate-file FILE        the same with a load curve (TarrowCtrl --rate-file FILE): one
                          RATE,SECONDS line a step, a rate of 0 pauses; a large fleet starts
                          with a pause while its clients connect
  -h, --help              this text
USAGE
}
die() { echo "fleet: $*" >&2; exit 2; }
is_uint() { [[ "$1" =~ ^[0-9]+$ ]]; }
is_seconds() { [[ "$1" =~ ^[0-9]+(\.[0-9]+)?$ ]]; }

build=""
run=""
users=20
max_delay=1
reply_timeout=""
delay_ms=0
batch=0
bound_s=""
rate=""
rate_file=""
link_faults=()   # "HOST DOWN UP"
ctrl_down=""     # "DOWN UP"
positional=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) [ $# -ge 2 ] || die "--build needs a folder"; build=$2; shift 2 ;;
    --run-dir) [ $# -ge 2 ] || die "--run-dir needs a folder"; run=$2; shift 2 ;;
    --users) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -ge 1 ] || die "--users needs a number from 1"; users=$2; shift 2 ;;
    --max-delay) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -ge 1 ] || die "--max-delay needs whole seconds from 1"; max_delay=$2; shift 2 ;;
    --reply-timeout) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -ge 1 ] || die "--reply-timeout needs whole seconds from 1"; reply_timeout=$2; shift 2 ;;
    --dir-delay-ms) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -le 600000 ] || die "--dir-delay-ms needs 0 to 600000"; delay_ms=$2; shift 2 ;;
    --batch) batch=1; shift ;;
    --rate) [ $# -ge 2 ] && is_seconds "$2" || die "--rate needs a number of logins per second"; rate=$2; shift 2 ;;
    --rate-file) [ $# -ge 2 ] && [ -f "$2" ] || die "--rate-file needs a file"; rate_file=$(realpath "$2"); shift 2 ;;
    --timeout) [ $# -ge 2 ] && is_uint "$2" && [ "$2" -ge 1 ] || die "--timeout needs whole seconds from 1"; bound_s=$2; shift 2 ;;
    --link-down)
      [ $# -ge 2 ] || die "--link-down needs HOST:DOWN:UP"
      IFS=: read -r h d u <<<"$2"
      [[ "$h" =~ ^(dir|ctrl|ws[1-9][0-9]*)$ ]] || die "--link-down: unknown host \"$h\" (dir, ctrl or wsN)"
      is_seconds "$d" && is_seconds "$u" && awk -v d="$d" -v u="$u" 'BEGIN { exit !(u > d) }' \
        || die "--link-down $2: DOWN and UP are seconds, UP after DOWN"
      link_faults+=("$h $d $u"); shift 2 ;;
    --ctrl-down)
      [ $# -ge 2 ] || die "--ctrl-down needs DOWN:UP"
      IFS=: read -r d u <<<"$2"
      is_seconds "$d" && is_seconds "$u" && awk -v d="$d" -v u="$u" 'BEGIN { exit !(u > d) }' \
        || die "--ctrl-down $2: DOWN and UP are seconds, UP after DOWN"
      ctrl_down="$d $u"; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    -*) die "unknown option $1 (see --help)" ;;
    *) positional+=("$1"); shift ;;
  esac
done
[ ${#positional[@]} -le 2 ] || die "too many arguments (see --help)"
k=${positional[0]:-20}
is_uint "$k" && [ "$k" -ge 1 ] || die "K must be a number from 1 to $fleet_max_workstations, got \"$k\""
[ "$k" -le "$fleet_max_workstations" ] ||
  die "K is at most $fleet_max_workstations, got $k: one bridge takes 1023 ports, two of them the directory and the controller host"
logins=${positional[1]:-$((10 * k))}
is_uint "$logins" && [ "$logins" -ge 1 ] || die "LOGINS must be a number from 1, got \"$logins\""
for f in "${link_faults[@]}"; do
  h=${f%% *}
  if [[ "$h" == ws* ]] && [ "${h#ws}" -gt "$k" ]; then die "--link-down: there is no $h in a fleet of $k"; fi
done

[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces)"
if [ -z "$build" ]; then
  # As the loopback main job does: install what is missing and build the release preset.
  echo "== Installing what is missing and building the release preset"
  (cd "$here/.." && bash scripts/install-deps.sh && cmake --preset release >/dev/null &&
   cmake --build --preset release -j "$(nproc)" >/dev/null) || die "the build failed"
  build=$(cd "$here/.." && pwd)/build/release
fi
command -v ip >/dev/null || die "needs ip (iproute2)"
build=$(cd "$build" 2>/dev/null && pwd) || die "no build folder $build"
mgr=$build/generator/cli/TarrowMgrCli
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
relay=$build/tools/delay_relay/tarrow_delay_relay
for program in "$mgr" "$cli" "$ctrl" "$relay"; do
  [ -x "$program" ] || die "$program is not built"
done

# ---- addresses and names ----------------------------------------------------------------
# One prefix per run: runs side by side, or left behind by a killed run, never clash.
ns_prefix=tarrowfleet$$
source "$here/fleet-report.sh"
ldap_port=389
relay_port=1389
hosts=(dir ctrl)
for i in $(seq 1 "$k"); do hosts+=("ws$i"); done

if [ -z "$run" ]; then
  run=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-fleet.XXXXXX")
else
  mkdir -p "$run" && run=$(cd "$run" && pwd)
fi

# ---- cleanup: every process in our namespaces, then the namespaces --------------------------
client_pids=()
helper_pids=()   # fault runner, connection watcher
ctrl_pid=""
kill_tree() {
  local child
  for child in $(pgrep -P "$1" 2>/dev/null); do kill_tree "$child"; done
  kill -TERM "$1" 2>/dev/null
}
cleanup() {
  local status=$?
  set +e
  trap - INT TERM
  # The helpers are subshells with children of their own (a pipeline, a sleep): the whole tree goes.
  for pid in "${helper_pids[@]}" $ctrl_pid; do kill_tree "$pid"; done
  # A client is TarrowCli itself (the subshell execs nsenter, which execs it): one kill for all.
  [ ${#client_pids[@]} -eq 0 ] || kill -TERM "${client_pids[@]}" 2>/dev/null
  PRIVATE_SLAPD_ADDRESS=$dir_addr bash "$here/private-slapd.sh" stop "$run/slapd" >/dev/null 2>&1
  local removed
  removed=$(remove_namespaces)
  wait 2>/dev/null
  echo "== Removed $removed network namespaces (and their links); run folder $run"
  exit $status
}
trap cleanup EXIT
trap 'echo "fleet: interrupted" >&2; exit 130' INT
trap 'echo "fleet: terminated" >&2; exit 143' TERM

sweep_stale

now_s() { echo "$EPOCHREALTIME"; }
since() { awk -v a="$1" -v b="$(now_s)" 'BEGIN { printf "%.1f", b - a }'; }

# ---- the subnet ---------------------------------------------------------------------------
echo "== Fleet $ns_prefix: $k workstations, a controller host and a directory host on $subnet (bridge in a namespace of its own)"
kernel_before=$(kernel_memory_kib)
setup_start=$(now_s)
make_subnet "$run/hosts.txt"
setup_ms=$(awk -v a="$setup_start" -v b="$(now_s)" 'BEGIN { printf "%d", (b - a) * 1000 }')
kernel_after=$(kernel_memory_kib)

# ---- files: generator, users, INI ---------------------------------------------------------
tree=$dir_addr:$ldap_port
[ "$delay_ms" -gt 0 ] && tree=$dir_addr:$relay_port
echo "== Writing $users users and both INI files for broadcast $broadcast, tree $tree"
"$mgr" --num-users "$users" --tree "$tree" --broadcast "$broadcast" --working-dir "$run/" \
       --csv-file Users.csv >"$run/generator.log"
# The generated client INI waits up to 90 s between events and names no users file; the fleet
# keeps the generator's broadcast and sets MaxDelay (and the users file, for --batch).
sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Users.csv/' -e "s/^MaxDelay=90/MaxDelay=$max_delay/" \
    "$run/Tarrow.ini" >"$run/TarrowRun.ini"
tr -d '\r' <"$run/TarrowRun.ini" | grep -qx "Local Broadcast=$broadcast" || die "Tarrow.ini does not name $broadcast"

# ---- directory host -----------------------------------------------------------------------
echo "== Directory host $dir_addr: private slapd on ldap://$dir_addr:$ldap_port"
ip netns exec "$(ns_of dir)" env PRIVATE_SLAPD_ADDRESS="$dir_addr" \
  bash "$here/private-slapd.sh" start "$run/slapd" "$ldap_port" "$run/Users.csv" >/dev/null
if [ "$delay_ms" -gt 0 ]; then
  echo "== Directory host $dir_addr: relay on port $relay_port holds each chunk toward slapd $delay_ms ms"
  ip netns exec "$(ns_of dir)" "$relay" --listen "$dir_addr:$relay_port" --to "$dir_addr:$ldap_port" \
    --delay-ms "$delay_ms" 2>"$run/relay.log" &
  helper_pids+=($!)
  for _ in $(seq 100); do grep -q listening "$run/relay.log" 2>/dev/null && break; sleep 0.05; done
  grep -q listening "$run/relay.log" || die "the relay did not start: $(cat "$run/relay.log")"
fi

# ---- controller host ----------------------------------------------------------------------
# Every run of TarrowCtrl gets these; a report folder (--report "$run/report-R") belongs here
# once the controller has one, beside --csv below.
ctrl_args=(--ini "$run/TarrowCtrl.ini")
[ -n "$reply_timeout" ] && ctrl_args+=(--reply-timeout "$reply_timeout")
[ -n "$rate" ] && [ -n "$rate_file" ] && die "--rate and --rate-file exclude each other"
[ -n "$rate" ] && ctrl_args+=(--rate "$rate" --report "$run/report")
[ -n "$rate_file" ] && ctrl_args+=(--rate-file "$rate_file" --report "$run/report")
ctrl_round=0
# Starts TarrowCtrl for N logins in the background; its CPU time goes to controller-R.cpu.
start_controller() {
  ctrl_round=$((ctrl_round + 1))
  local r=$ctrl_round suffix=""
  [ "$r" -gt 1 ] && suffix="-$r"
  (
    TIMEFORMAT='%3U %3S'
    time ip netns exec "$(ns_of ctrl)" "$ctrl" "${ctrl_args[@]}" --count "$1" --csv "$run/replies$suffix.csv" \
      >"$run/controller$suffix.log" 2>"$run/controller$suffix.err"
  ) 2>"$run/controller$suffix.cpu" &
  ctrl_pid=$!
  ctrl_logs+=("$run/controller$suffix.log")
  ctrl_csvs+=("$run/replies$suffix.csv")
  ctrl_cpus+=("$run/controller$suffix.cpu")
}
ctrl_logs=(); ctrl_csvs=(); ctrl_cpus=()
# Open descriptors of the running TarrowCtrl (the child of the timing subshell).
ctrl_fds() {
  local p
  p=$(pgrep -P "$ctrl_pid" 2>/dev/null | head -n 1)
  [ -z "$p" ] || find "/proc/$p/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l
}
echo "== Controller host $ctrl_addr: TarrowCtrl for $logins logins"
start_controller "$logins"
for _ in $(seq 100); do grep -q "listening" "$run/controller.err" 2>/dev/null && break; sleep 0.05; done
grep -q "listening" "$run/controller.err" || die "TarrowCtrl did not start: $(cat "$run/controller.err")"

# ---- workstations -------------------------------------------------------------------------
echo "== $k workstations $(ws_addr 1) to $(ws_addr "$k"): TarrowCli in client mode, MaxDelay $max_delay"
seq -f "$run/ws%.0f" 1 "$k" | xargs mkdir -p
ctrl_fds_before=$(ctrl_fds)
t0=$(now_s)
t0_utc=$(date -u +%H:%M:%S.%N)
# Established control connections on the controller host, sampled every 0.1 s from the start:
# a thousand clients take longer to start than the first of them takes to connect.
(
  last=-1
  while :; do
    n=$(ss -N "$(ns_of ctrl)" -Htn state established '( sport = :2308 )' 2>/dev/null | wc -l)
    if [ "$n" != "$last" ]; then echo "$(since "$t0") $n"; last=$n; fi
    sleep 0.1
  done
) >"$run/connections.log" 2>/dev/null &
helper_pids+=($!)
# nsenter enters the host's network namespace only (ip netns exec also remounts /sys, which
# doubles the cost of each start); a thousand starts queue behind each other on two cores.
for i in $(seq 1 "$k"); do
  (cd "$run/ws$i" && exec nsenter --net="/run/netns/$ns_prefix-ws$i" "$cli" --ini "$run/TarrowRun.ini" \
     >client.log 2>client.err) &
  client_pids+=($!)
done
clients_started_s=$(since "$t0")

# Link faults: the switch end of the host's cable goes down and up at the given seconds.
if [ ${#link_faults[@]} -gt 0 ]; then
  (
    for f in "${link_faults[@]}"; do
      read -r h d u <<<"$f"
      echo "$d down $h"
      echo "$u up $h"
    done | sort -n | while read -r at what h; do
      wait_s=$(awk -v at="$at" -v now="$(since "$t0")" 'BEGIN { w = at - now; printf "%.3f", (w > 0 ? w : 0) }')
      sleep "$wait_s"
      set_link "$h" "$what"
      echo "[$(since "$t0") s] link of $h $what" | tee -a "$run/faults.log" >&2
    done
  ) &
  helper_pids+=($!)
fi

# The memory of the clients once every one is connected (resident and proportional set), and
# the descriptors the controller holds for them beyond its own at start.
sample_client_memory() {
  local pid
  for pid in "${client_pids[@]}"; do [ -r "/proc/$pid/smaps_rollup" ] && echo "/proc/$pid/smaps_rollup"; done |
    xargs -r cat 2>/dev/null | awk '/^Rss:/ { n++; rss += $2 } /^Pss:/ { pss += $2 }
      END { if (n > 0) printf "client_rss_kib=%d\nclient_pss_kib=%d\n", rss / n, pss / n }'
  awk -v before="$ctrl_fds_before" -v now="$(ctrl_fds)" -v k="$k" 'BEGIN {
    if (before != "" && now != "") printf "ctrl_fds_before=%d\nctrl_fds_connected=%d\nctrl_fds_per_client=%.2f\n", before, now, (now - before) / k }'
}

# ---- the run ------------------------------------------------------------------------------
# A thousand clients take half a minute to start on two cores: 1 s more for each 25.
[ -n "$bound_s" ] || bound_s=$((60 + (logins + k - 1) / k * (max_delay + 10) + k / 25))
if [ -n "$ctrl_down" ]; then read -r cd_down cd_up <<<"$ctrl_down"; bound_s=$((bound_s + ${cd_up%.*})); fi
for f in "${link_faults[@]}"; do read -r _ _ u <<<"$f"; bound_s=$((bound_s + ${u%.*})); done
deadline=$(awk -v t="$t0" -v b="$bound_s" 'BEGIN { printf "%.3f", t + b }')
past() { awk -v t="$1" -v now="$(now_s)" 'BEGIN { exit !(now >= t) }'; }
at_s() { awk -v t="$t0" -v s="$1" 'BEGIN { printf "%.3f", t + s }'; }
memory_taken=0
timed_out=0
# Waits for the controller to exit, taking the memory sample once all are connected; returns 1
# when the run's bound passed (the controller is stopped then), 2 when time "until" came first.
wait_controller() {
  local until=${1:-}
  while kill -0 "$ctrl_pid" 2>/dev/null; do
    if [ $memory_taken -eq 0 ] && [ "$(tail -n 1 "$run/connections.log" 2>/dev/null | cut -d' ' -f2)" = "$k" ]; then
      sample_client_memory >"$run/memory.txt"; memory_taken=1
    fi
    if past "$deadline"; then
      echo "fleet: the run took longer than its bound of $bound_s s; stopping the controller" >&2
      pkill -TERM -P "$ctrl_pid" 2>/dev/null || true
      timed_out=1
      wait "$ctrl_pid" 2>/dev/null || true
      return 1
    fi
    if [ -n "$until" ] && past "$until"; then return 2; fi
    sleep 0.1
  done
  wait "$ctrl_pid" 2>/dev/null || true
}

ctrl_back_s=""
if [ -n "$ctrl_down" ]; then
  if wait_controller "$(at_s "$cd_down")"; then :; else
    if [ $timed_out -eq 0 ]; then
      # Shut down: the controller stops (closing its connections in order), then the cable goes.
      pkill -TERM -P "$ctrl_pid" 2>/dev/null || true
      wait "$ctrl_pid" 2>/dev/null || true
      set_link ctrl down
      echo "[$(since "$t0") s] controller host down: TarrowCtrl stopped, link down" | tee -a "$run/faults.log" >&2
      done_so_far=$(awk '/^  replies: / { print $2 }' "$run/controller.log")
      sleep "$(awk -v at="$cd_up" -v now="$(since "$t0")" 'BEGIN { w = at - now; printf "%.3f", (w > 0 ? w : 0) }')"
      set_link ctrl up
      ctrl_back_s=$(since "$t0")
      missing=$((logins - ${done_so_far:-0}))
      echo "[$ctrl_back_s s] controller host back: link up, TarrowCtrl for the $missing logins still missing" \
        | tee -a "$run/faults.log" >&2
      if [ "$missing" -gt 0 ]; then start_controller "$missing"; wait_controller || true; fi
    fi
  fi
else
  wait_controller || true
fi

# ---- what happened ------------------------------------------------------------------------
for log in "${ctrl_logs[@]}"; do cat "$log"; done

t0_day_s=$(day_seconds "$t0_utc")
timeline "${ctrl_csvs[@]}" >"$run/timeline.txt"
if [ ${#link_faults[@]} -gt 0 ] || [ -n "$ctrl_down" ]; then
  echo "== Replies by second since the workstations started (controller's CSV)"
  awk '$3 + $5 + $7 > 0' "$run/timeline.txt"
fi

add_up_summaries "${ctrl_logs[@]}"
all_connected_s=$(connected_at "$k")
first_connected_s=$(connected_at 1)
{
  echo "workstations=$k"
  echo "setup_ms=$setup_ms"
  kernel_per_host "$kernel_before" "$kernel_after" $((k + 3))
  echo "t0_utc_day_s=$t0_day_s"
  echo "clients_started_s=$clients_started_s"
  echo "first_connected_s=${first_connected_s:-}"
  echo "all_connected_s=${all_connected_s:-}"
  echo "replies=$total_replies"
  echo "packets_sent=$total_sent"
  echo "packets_without_reply=$total_lost"
  echo "clients_replied=$replied_clients"
  cat "${ctrl_cpus[@]}" | awk '{ ms += ($1 + $2) * 1000 } END { printf "ctrl_cpu_ms=%d\n", ms }'
  login_rates "${all_connected_s:-}" "${ctrl_csvs[@]}"
  [ -f "$run/memory.txt" ] && cat "$run/memory.txt"
  if [ -n "$ctrl_back_s" ]; then
    echo "ctrl_back_s=$ctrl_back_s"
    awk -v back="$ctrl_back_s" -v k="$k" '$1 >= back && $2 == k { printf "reconnected_after_s=%.1f\n", $1 - back; exit }' \
      "$run/connections.log"
  fi
} >"$run/metrics.txt"

echo "== Fleet: $replied_clients of $k workstations replied; $total_replies replies of $logins; $total_sent packets sent ($total_lost without a reply)"
[ -n "$all_connected_s" ] && echo "== All $k workstations were connected ${all_connected_s} s after they started"
if [ -n "$ctrl_back_s" ]; then
  again=$(awk -F= '/^reconnected_after_s=/ { print $2 }' "$run/metrics.txt")
  echo "== Controller host back at $ctrl_back_s s; all $k workstations connected again ${again:-never} s later"
fi

# ---- batch run from a workstation ---------------------------------------------------------
batch_run() {  # LABEL TREE
  mkdir -p "$run/batch-$1"
  sed "s/,$tree,/,$2,/" "$run/Users.csv" >"$run/batch-$1/Users.csv"
  cp "$run/TarrowRun.ini" "$run/batch-$1/TarrowRun.ini"
  echo "== Batch run on ws1 ($1, tree $2): TarrowCli --batch over $users users"
  (cd "$run/batch-$1" && timeout $((30 + users * 20)) ip netns exec "$(ns_of ws1)" "$cli" \
     --ini "$run/batch-$1/TarrowRun.ini" --batch 2>/dev/null) >"$run/batch-$1/batch.log" || true
  tail -n 4 "$run/batch-$1/batch.log"
}
if [ $batch -eq 1 ]; then
  for pid in "${client_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait "${client_pids[@]}" 2>/dev/null || true
  client_pids=()
  batch_run direct "$dir_addr:$ldap_port"
  [ "$delay_ms" -gt 0 ] && batch_run relay "$dir_addr:$relay_port"
fi

echo "== Report: $run (controller's summary controller.log, its CSV replies.csv, progress controller.err,"
echo "   connections.log, timeline.txt, metrics.txt, faults.log, wsN/client.log and client.err)"
[ $timed_out -eq 0 ] || exit 1
[ "$total_replies" -eq "$logins" ] || { echo "fleet: $total_replies replies of $logins" >&2; exit 1; }
[ "$replied_clients" -eq "$k" ] || { echo "fleet: only $replied_clients of $k workstations replied" >&2; exit 1; }
exit 0
