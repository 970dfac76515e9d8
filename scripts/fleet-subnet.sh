# The fleet's virtual subnet, sourced by fleet.sh: one network namespace per host, joined by a
# bridge in a namespace of its own. Nothing here touches the machine's own network namespace.
# Callers set ns_prefix (unique per run) and hosts (dir, ctrl, ws1 ...) first.

# A /21 (10.231.0.0 to 10.231.7.255): room for every port of one bridge with the workstations'
# addresses (10 + N) kept from the /24 this once was; the directed broadcast is 10.231.7.255.
subnet=10.231.0.0/21
subnet_bits=21
broadcast=10.231.7.255
dir_addr=10.231.0.2
ctrl_addr=10.231.0.3
# A Linux bridge takes 1,023 ports (the 1,024th is refused with "Exchange full"); the directory
# host and the controller host take two of them.
fleet_max_workstations=1021
ws_addr() { local o=$((10 + $1)); echo "10.231.$((o / 256)).$((o % 256))"; }
host_addr() { case $1 in dir) echo "$dir_addr" ;; ctrl) echo "$ctrl_addr" ;; ws*) ws_addr "${1#ws}" ;; esac; }
ns_switch() { echo "$ns_prefix-switch"; }
ns_of() { echo "$ns_prefix-$1"; }   # dir, ctrl, ws1 ...
made_namespaces=()

# Makes the switch and every host of hosts (dir, ctrl, ws1 ...); one veth per host, its switch
# end named after the host on the bridge, eth0 with the host's address in the host. A thousand
# hosts take a few seconds: every namespace is made by one ip, every link by one ip in the
# switch, and each host configures its own end with one ip, two hosts at a time (an ip per
# command, or ip -n with its remount of /sys, took minutes).
make_subnet() {  # HOSTS_FILE
  local sw=$ns_prefix-switch h o addr lines=()
  for h in "${hosts[@]}"; do
    case $h in
      dir) addr=$dir_addr ;;
      ctrl) addr=$ctrl_addr ;;
      *) o=$((10 + ${h#ws})); addr=10.231.$((o / 256)).$((o % 256)) ;;
    esac
    lines+=("$h $ns_prefix-$h $addr")
    made_namespaces+=("$ns_prefix-$h")   # listed before they exist: cleanup removes any part made
  done
  made_namespaces+=("$sw")
  printf 'netns add %s\n' "$sw" "${hosts[@]/#/$ns_prefix-}" | ip -batch -
  {
    echo "link set lo up"
    echo "link add br0 type bridge"
    echo "link set br0 addrgenmode none"
    echo "link set br0 up"
    for h in "${hosts[@]}"; do
      echo "link add $h type veth peer name eth0 netns $ns_prefix-$h"
      echo "link set $h addrgenmode none master br0 up"
      # A workstation's port is isolated from the other workstations' ports (a switch's protected
      # port): its broadcasts reach the controller and the directory host, which is all the
      # fleet speaks with. Flooded to every port, a thousand clients' announcements cost the
      # machine seconds of CPU each second (1000 x 1000 copies every announcement period).
      [[ $h == ws* ]] && echo "link set $h type bridge_slave isolated on"
    done
  } | ip -n "$sw" -batch -
  # nsenter enters only the network namespace: ip -n would remount /sys for each host. No link
  # gets an IPv6 address: the fleet speaks IPv4, and each link's IPv6 announcements would be
  # flooded to every port of the bridge.
  printf '%s\n' "${lines[@]}" | xargs -P 2 -L 1 sh -c \
    'printf "link set lo up\naddr add %s/%s brd + dev eth0\nlink set eth0 addrgenmode none up\n" "$4" "$1" |
       nsenter --net="/run/netns/$3" ip -batch -' sh "$subnet_bits"
  printf '%s\n' "${lines[@]}" >>"$1"
}

# A pulled cable: the host's end on the switch goes down (or up again).
set_link() { ip -n "$(ns_switch)" link set "$1" "$2"; }  # HOST up|down

# The processes inside any of the given namespaces, in one pass over /proc (ip netns pids reads
# all of /proc once per namespace).
pids_in() {  # NAMESPACE...
  local inodes
  inodes=$(cd /run/netns 2>/dev/null && stat -L -c '%i' "$@" 2>/dev/null) || true
  [ -n "$inodes" ] || return 0
  find /proc -mindepth 3 -maxdepth 3 -path '/proc/[0-9]*/ns/net' -printf '%h %l\n' 2>/dev/null |
    awk -v list="$inodes" 'BEGIN { n = split(list, i, "\n"); for (j = 1; j <= n; j++) ours["net:[" i[j] "]"] = 1 }
      $2 in ours { split($1, p, "/"); print p[3] }'
}

# Stops whatever still runs inside a namespace of this run (it is all ours), then removes the
# namespaces and with them their links. Prints how many went.
remove_namespaces() {
  local left=() ns pid alive removed=0 present=()
  for ns in "${made_namespaces[@]}"; do [ -e "/run/netns/$ns" ] && present+=("$ns"); done
  [ ${#present[@]} -gt 0 ] || { echo 0; return; }
  left=($(pids_in "${present[@]}"))
  if [ ${#left[@]} -gt 0 ]; then
    kill -TERM "${left[@]}" 2>/dev/null
    for _ in $(seq 40); do
      alive=0
      for pid in "${left[@]}"; do kill -0 "$pid" 2>/dev/null && { alive=1; break; }; done
      [ $alive -eq 0 ] && break
      sleep 0.05
    done
    kill -KILL "${left[@]}" 2>/dev/null
  fi
  printf 'netns del %s\n' "${present[@]}" | ip -force -batch - >/dev/null 2>&1
  for ns in "${present[@]}"; do [ -e "/run/netns/$ns" ] || removed=$((removed + 1)); done
  echo "$removed"
}

# Namespaces of an earlier run whose script is gone (killed with SIGKILL) are removed.
sweep_stale() {
  local ns pid stale=()
  for ns in $(ip netns list 2>/dev/null | awk '{print $1}' | grep -E '^tarrowfleet[0-9]+-' || true); do
    pid=${ns#tarrowfleet}; pid=${pid%%-*}
    if [ "$pid" != "$$" ] && ! kill -0 "$pid" 2>/dev/null; then stale+=("$ns"); fi
  done
  [ ${#stale[@]} -gt 0 ] || return 0
  pid=$(pids_in "${stale[@]}")
  [ -z "$pid" ] || kill -KILL $pid 2>/dev/null || true
  for ns in "${stale[@]}"; do
    ip netns del "$ns" 2>/dev/null && echo "fleet: removed $ns, left by an earlier run"
  done
}
