# The fleet's virtual subnet, sourced by fleet.sh: one network namespace per host, joined by a
# bridge in a namespace of its own. Nothing here touches the machine's own network namespace.
# Callers set ns_prefix (unique per run) and hosts (dir, ctrl, ws1 ...) first.

# A /21 (10.231.0.0 to 10.231.7.255): room for a host on every port of one bridge, workstation N
# at 10 + N counted from 10.231.0.0 (ws1 is 10.231.0.11, ws246 10.231.1.0); every host's eth0
# carries the /21, so the directed broadcast 10.231.7.255 is the same on all of them.
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
# hosts take seconds, not minutes: every namespace is made by one ip, every link by one ip in
# the switch, and each host is configured by one ip of its own, two at a time (nsenter enters
# the network namespace only; ip -n would remount /sys for each).
#
# The kernel's neighbour table is shared by every namespace and holds 1024 learned entries
# (gc_thresh3 of the machine); a thousand hosts learning each other's addresses overflow it, and
# the packets that need a new entry are dropped. So each host knows whom it speaks with as
# permanent entries, which are not counted: the controller and the directory host know every
# host, a workstation knows those two; every host knows the broadcast. Each eth0 has a MAC made
# from its address (02:00:0a:e7 and the last two octets). No link gets an IPv6 address: the
# fleet speaks IPv4, and each link's IPv6 announcements would go to every port.
make_subnet() {  # HOSTS_FILE
  local sw=$ns_prefix-switch h o addr mac batches status=0 lines=() servers=()
  for h in "${hosts[@]}"; do
    case $h in
      dir) o=2 ;;
      ctrl) o=3 ;;
      *) o=$((10 + ${h#ws})) ;;
    esac
    addr=10.231.$((o / 256)).$((o % 256))
    printf -v mac '02:00:0a:e7:%02x:%02x' $((o / 256)) $((o % 256))
    lines+=("$h $ns_prefix-$h $addr $mac")
    [[ $h == ws* ]] || servers+=("neigh replace $addr lladdr $mac dev eth0 nud permanent")
    made_namespaces+=("$ns_prefix-$h")   # listed before they exist: cleanup removes any part made
  done
  made_namespaces+=("$sw")
  printf 'netns add %s\n' "$sw" "${hosts[@]/#/$ns_prefix-}" | ip -batch -
  {
    echo "link set lo up"
    echo "link add br0 type bridge"
    echo "link set br0 addrgenmode none"
    echo "link set br0 up"
    for h in "${lines[@]}"; do
      read -r h o addr mac <<<"$h"
      echo "link add $h type veth peer name eth0 address $mac netns $o"
      echo "link set $h addrgenmode none master br0 up"
      # A workstation's port is isolated from the other workstations' ports (a switch's protected
      # port): its broadcasts reach the controller and the directory host, which is all the
      # fleet speaks with. Flooded to every port, a thousand clients' announcements cost the
      # machine seconds of CPU each second (1000 x 1000 copies every announcement period).
      [[ $h == ws* ]] && echo "link set $h type bridge_slave isolated on"
    done
  } | ip -n "$sw" -batch -
  batches=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-fleet-subnet.XXXXXX")
  for h in "${lines[@]}"; do
    read -r h o addr mac <<<"$h"
    {
      echo "link set lo up"
      echo "addr add $addr/$subnet_bits brd + dev eth0"
      echo "link set eth0 addrgenmode none up"
      echo "neigh replace $broadcast lladdr ff:ff:ff:ff:ff:ff dev eth0 nud permanent"
      if [[ $h == ws* ]]; then
        printf '%s\n' "${servers[@]}"
      else
        printf 'neigh replace %s lladdr %s dev eth0 nud permanent\n' $(printf '%s\n' "${lines[@]}" | awk -v me="$h" '$1 != me { print $3, $4 }')
      fi
    } >"$batches/$o"
  done
  (cd "$batches" && printf '%s\n' * | xargs -P 2 -I{} nsenter --net=/run/netns/{} ip -batch {}) || status=$?
  rm -rf "$batches"
  [ $status -eq 0 ] || return $status
  printf '%s\n' "${lines[@]}" | cut -d' ' -f1-3 >>"$1"
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
