# The fleet's virtual subnet, sourced by fleet.sh: one network namespace per host, joined by a
# bridge in a namespace of its own. Nothing here touches the machine's own network namespace.
# Callers set ns_prefix (unique per run) and k (workstations) first.

subnet_prefix=10.231.0
broadcast=$subnet_prefix.255
dir_addr=$subnet_prefix.2
ctrl_addr=$subnet_prefix.3
ws_addr() { echo "$subnet_prefix.$((10 + $1))"; }
host_addr() { case $1 in dir) echo "$dir_addr" ;; ctrl) echo "$ctrl_addr" ;; ws*) ws_addr "${1#ws}" ;; esac; }
ns_switch() { echo "$ns_prefix-switch"; }
ns_of() { echo "$ns_prefix-$1"; }   # dir, ctrl, ws1 ...
made_namespaces=()

add_ns() { ip netns add "$1"; made_namespaces+=("$1"); ip -n "$1" link set lo up; }

# Makes the switch and every host of hosts (dir, ctrl, ws1 ...); one veth per host, its switch
# end named after the host on the bridge, eth0 with the host's address in the host.
make_subnet() {  # HOSTS_FILE
  local sw h ns
  sw=$(ns_switch)
  add_ns "$sw"
  ip -n "$sw" link add br0 type bridge
  ip -n "$sw" link set br0 up
  for h in "${hosts[@]}"; do
    ns=$(ns_of "$h")
    add_ns "$ns"
    ip -n "$sw" link add "$h" type veth peer name eth0 netns "$ns"
    ip -n "$sw" link set "$h" master br0 up
    ip -n "$ns" addr add "$(host_addr "$h")/24" brd + dev eth0
    ip -n "$ns" link set eth0 up
    echo "$h $ns $(host_addr "$h")" >>"$1"
  done
}

# A pulled cable: the host's end on the switch goes down (or up again).
set_link() { ip -n "$(ns_switch)" link set "$1" "$2"; }  # HOST up|down

# Stops whatever still runs inside a namespace of this run (it is all ours), then removes the
# namespaces and with them their links. Prints how many went.
remove_namespaces() {
  local left=() ns pid alive removed=0
  for ns in "${made_namespaces[@]}"; do
    for pid in $(ip netns pids "$ns" 2>/dev/null); do left+=("$pid"); kill -TERM "$pid" 2>/dev/null; done
  done
  for _ in $(seq 40); do
    alive=0
    for pid in "${left[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [ $alive -eq 0 ] && break
    sleep 0.05
  done
  for pid in "${left[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  for ns in "${made_namespaces[@]}"; do ip netns del "$ns" 2>/dev/null && removed=$((removed + 1)); done
  echo "$removed"
}

# Namespaces of an earlier run whose script is gone (killed with SIGKILL) are removed.
sweep_stale() {
  local ns pid p
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^tarrowfleet[0-9]+-' || true); do
    pid=${ns#tarrowfleet}; pid=${pid%%-*}
    if [ "$pid" != "$$" ] && ! kill -0 "$pid" 2>/dev/null; then
      for p in $(ip netns pids "$ns" 2>/dev/null); do kill -KILL "$p" 2>/dev/null || true; done
      ip netns del "$ns" 2>/dev/null && echo "fleet: removed $ns, left by an earlier run"
    fi
  done
}
