# Helpers of the fleet tests, sourced: skip where a fleet cannot run, run scripts/fleet.sh into
# a run folder of the test's own, and count failed checks.
fleet_script=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/fleet.sh
source "${fleet_script%/*}/fleet-subnet.sh"   # the subnet's addresses: broadcast, ctrl_addr, ws_addr
failures=0
checks=0

# Exit status 77 tells CTest that the test was skipped (SKIP_RETURN_CODE).
skip_unless_fleet_possible() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the fleet tests need root to make network namespaces"
    exit 77
  fi
  local probe=tarrowprobe$$
  if ! ip netns add "$probe" 2>/dev/null; then
    echo "SKIP: this machine has no network namespace support (ip netns add failed)"
    exit 77
  fi
  if ! ip -n "$probe" link add br0 type bridge 2>/dev/null ||
     ! ip -n "$probe" link add probe0 type veth peer name probe1 2>/dev/null; then
    ip netns del "$probe"
    echo "SKIP: this kernel cannot make a bridge or a veth pair inside a network namespace"
    exit 77
  fi
  ip netns del "$probe"
}

check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  checks=$((checks + 1))
  if ! "$@"; then echo "FAILED: $what"; failures=$((failures + 1)); fi
}
has_line() { grep -qF -- "$1" <<<"$out"; }

# Runs the fleet with the given arguments; sets out, status, run and metric().
run_fleet() {
  run=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-fleet-test.XXXXXX")
  namespaces_before=$(ip netns list | awk '{print $1}' | sort)
  out=$(bash "$fleet_script" --build "$build" --run-dir "$run" "$@" 2>&1)
  status=$?
  echo "$out"
  local prefix
  prefix=$(sed -n 's/^== Fleet \(tarrowfleet[0-9]*\):.*/\1/p' <<<"$out")
  check "the run names its namespaces" test -n "$prefix"
  check "no namespace of the run is left" test -z "$(ip netns list | awk '{print $1}' | grep "^$prefix-")"
  check "ip netns list is as before" test "$(ip netns list | awk '{print $1}' | sort)" = "$namespaces_before"
}
metric() { awk -F= -v key="$1" '$1 == key { print $2 }' "$run/metrics.txt"; }
# The summary's figure after a label, for example summary_figure "success (R1):".
summary_figure() {
  awk -v label="$1" '(i = index($0, label)) { split(substr($0, i + length(label)), f, " "); print f[1]; exit }' <<<"$out"
}

finish() {
  echo "$((checks - failures)) checks passed, $failures failed"
  [ $failures -eq 0 ] && rm -rf "$run"
  [ $failures -eq 0 ]
  exit
}
