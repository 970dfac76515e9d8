# Shared by the fault tests (tests/faults/*_test.sh): a run folder, ports of their own on
# 127.0.0.1, a private slapd, the controller and clients on those ports, checks, and a cleanup
# that stops everything the test started, also on failure. Source it after setting build:
#   build=BUILD_DIR; source "$(dirname "$0")/faults_lib.sh"
# Every wait is bounded; nothing is sent beyond loopback.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
slapd_script=$top/scripts/private-slapd.sh
mgr=$build/generator/cli/TarrowMgrCli
cli=$build/client/cli/TarrowCli
ctrl=$build/controller/TarrowCtrl
relay=$build/tools/delay_relay/tarrow_delay_relay
peer=$build/tests/faults/fault_peer
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-faults.XXXXXX")
pids=()
failures=0
checks=0

cleanup() {
  local p
  kill "$watchdog" 2>/dev/null
  for p in "${pids[@]}"; do kill -CONT "$p" 2>/dev/null; kill -TERM "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do
    for _ in $(seq 1 40); do kill -0 "$p" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$p" 2>/dev/null
    wait "$p" 2>/dev/null
  done
  if [ -f "$work/slapd/slapd.pid" ]; then kill -CONT "$(cat "$work/slapd/slapd.pid")" 2>/dev/null; fi
  bash "$slapd_script" stop "$work/slapd" >/dev/null 2>&1
  [ -z "${cleanup_extra:-}" ] || eval "$cleanup_extra"
  if [ -n "${KEEP_FAULT_FOLDER:-}" ]; then echo "files kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# started PID: stopped by the cleanup. A watchdog kills whatever is still listed, and the test,
# when the test has not ended within FAULT_DEADLINE_S (its ctest time-out is longer).
started() { pids+=("$1"); echo "$1" >>"$work/pids"; }
: >"$work/pids"
(
  trap - EXIT
  trap 'kill "$s" 2>/dev/null; exit 0' TERM
  sleep "${FAULT_DEADLINE_S:-170}" &
  s=$!
  wait "$s"
  echo "FAIL: the test ran longer than ${FAULT_DEADLINE_S:-170} s" >&2
  while read -r p; do kill -KILL "$p" 2>/dev/null; done <"$work/pids"
  kill -TERM $$ 2>/dev/null
) </dev/null >/dev/null &
watchdog=$!

for program in "$mgr" "$cli" "$ctrl"; do
  [ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
done

say() { echo "== $*"; }
check() {  # check DESCRIPTION COMMAND...: counts a failure when the command fails
  local what=$1
  shift
  checks=$((checks + 1))
  if "$@"; then echo "ok: $what"; else echo "CHECK FAILED: $what"; failures=$((failures + 1)); fi
}
jq_check() {  # jq_check FILE JQ-TEST
  checks=$((checks + 1))
  if jq -e "$2" "$1" >/dev/null 2>&1; then echo "ok: $2"; else
    echo "CHECK FAILED: $2 (in $1)"
    failures=$((failures + 1))
  fi
}
has_line() { grep -q -- "$1" "$2"; }
finish() {
  echo "$((checks - failures)) of $checks checks passed"
  [ "$failures" -eq 0 ]
  exit
}
skip() { echo "SKIPPED: $*"; exit 77; }

# Ports of its own on 127.0.0.1, below the ephemeral range and distinct from each other.
source "$top/scripts/free-port.sh"
free_port ldap_port || exit 1
free_port discovery_port || exit 1
free_port answer_port || exit 1
free_port control_port || exit 1

# The directory and client time-outs, shortened so that a stalled server costs seconds.
export QDS_CONNECT_TIMEOUT_MS=${QDS_CONNECT_TIMEOUT_MS:-1000}
export QDS_OP_TIMEOUT_MS=${QDS_OP_TIMEOUT_MS:-1000}

# write_files USERS: the users file (tree 127.0.0.1:ldap_port), both INI files, and Run.ini (the
# client's, naming the users file, MaxDelay 1) in the run folder.
write_files() {
  "$mgr" --num-users "$1" --tree "127.0.0.1:$ldap_port" --broadcast 127.255.255.255 \
    --working-dir "$work/" --csv-file Users.csv >"$work/mgr.log" 2>&1 || { echo "FAIL: TarrowMgrCli"; exit 1; }
  sed -e 's/^WorkloadUsersFile=/WorkloadUsersFile=Users.csv/' -e 's/^MaxDelay=90/MaxDelay=1/' \
    "$work/Tarrow.ini" >"$work/Run.ini"
}

slapd_pid() { cat "$work/slapd/slapd.pid" 2>/dev/null; }
start_slapd() {  # start_slapd [SEED_FILE]: the private slapd on ldap_port
  bash "$slapd_script" start "$work/slapd" "$ldap_port" "${1:-$work/Users.csv}" >"$work/slapd-start.log" 2>&1 \
    || { echo "FAIL: slapd did not start: $(tail -2 "$work/slapd-start.log")"; exit 1; }
}
kill_slapd() {  # SIGKILL, no orderly end; the port is free at once
  local pid
  pid=$(slapd_pid)
  [ -n "$pid" ] || return 0
  kill -KILL "$pid" 2>/dev/null
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
}
ldap_answers() { timeout 3 ldapwhoami -x -H "ldap://127.0.0.1:$ldap_port" >/dev/null 2>&1; }
# start_relay DELAY_MS: the delay relay on a port of its own (relay_port) in front of slapd,
# each chunk toward it held DELAY_MS; a check that it listens.
start_relay() {
  free_port relay_port || exit 1
  "$relay" --listen "127.0.0.1:$relay_port" --to "127.0.0.1:$ldap_port" --delay-ms "$1" >"$work/relay.log" 2>&1 &
  started $!
  check "the relay listens" wait_for 5 bash -c "(exec 3<>/dev/tcp/127.0.0.1/$relay_port) 2>/dev/null"
}

# start_ctrl NAME [options]: TarrowCtrl on the test's ports in the background, bounded by
# timeout; standard output in NAME.out, standard error in NAME.err; its pid in ctrl_pid.
start_ctrl() {
  local name=$1
  shift
  "$ctrl" --ini "$work/TarrowCtrl.ini" --discovery-port "$discovery_port" \
    --answer-port "$answer_port" --control-port "$control_port" --quiet "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  ctrl_pid=$!
  started "$ctrl_pid"
  for _ in $(seq 1 100); do
    grep -q "listening on TCP port" "$work/$name.err" 2>/dev/null && return 0
    kill -0 "$ctrl_pid" 2>/dev/null || break
    sleep 0.05
  done
  echo "FAIL: TarrowCtrl $name did not start: $(cat "$work/$name.err")"
  exit 1
}
# wait_ctrl SECONDS: waits for the controller to end; its status in ctrl_status (124: too long).
wait_ctrl() {
  local deadline=$((SECONDS + $1))
  while kill -0 "$ctrl_pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
  if kill -0 "$ctrl_pid" 2>/dev/null; then
    kill -KILL "$ctrl_pid" 2>/dev/null
    wait "$ctrl_pid" 2>/dev/null
    ctrl_status=124
  else
    wait "$ctrl_pid"
    ctrl_status=$?
  fi
}

# start_client NAME [options]: TarrowCli in client mode on the test's ports (the answer port
# given by --answer-port among the options, else the controller's); pid in client_pid.
start_client() {
  local name=$1
  shift
  local answer=$answer_port
  case " $* " in *" --answer-port "*) answer="" ;; esac
  (cd "$work" && exec "$cli" --ini "$work/Run.ini" --discover-port "$discovery_port" \
    ${answer:+--answer-port "$answer"} --control-port "$control_port" "$@" \
    >"$work/$name.log" 2>"$work/$name.err") &
  client_pid=$!
  started "$client_pid"
}
# start_another_client NAME [options]: a client beside the first, on an answer port of its own
# (one host's clients cannot share one), poked until it connected; that is a check.
start_another_client() {
  local name=$1 port
  shift
  free_port port || exit 1
  start_client "$name" --answer-port "$port" "$@"
  check "$name connected" poke_until_connected "$name" "$port"
}
# poke_client ANSWER_PORT: the controller's answer for a client whose answer port the
# controller does not send to (clients on one host cannot share one).
poke_client() { printf 'DISCOVER' >"/dev/udp/127.0.0.1/$1"; }

# wait_for SECONDS COMMAND...: true as soon as the command succeeds, false after SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

# accounted REPORT: every credential packet sent is a reply or indeterminate, exactly once,
# and logins.csv beside it has one row for each.
accounted() {
  local r=$1
  jq_check "$r" '.logins.packets_sent == .logins.performed + .logins.indeterminate'
  jq_check "$r" '.logins.performed == .logins.successful + .logins.failed + .logins.errors'
  local rows
  rows=$(($(wc -l <"$(dirname "$r")/logins.csv") - 1))
  jq_check "$r" ".logins.packets_sent == $rows"
}
# poke_until_connected NAME ANSWER_PORT: pokes the client until it has one connection more
# than before (its status line "Connected to: "), at most 10 s; false when it did not connect.
# The client's log may not exist yet when this is first asked: that counts as none.
connections_of() {
  local n
  n=$(grep -c '^status: Connected to: ' "$work/$1.err" 2>/dev/null)
  echo "${n:-0}"
}
poke_until_connected() {
  local before
  before=$(connections_of "$1")
  for _ in $(seq 1 40); do
    poke_client "$2" 2>/dev/null
    sleep 0.25
    [ "$(connections_of "$1")" -gt "$before" ] && return 0
  done
  return 1
}
