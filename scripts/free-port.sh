# Sourced, not run: "free_port NAME" sets the variable NAME to a TCP port on 127.0.0.1
# that nothing listens on and that this shell has not handed out before (UDP ports of
# discovery come from the same draw, which keeps them apart from the TCP ones). It sets
# a variable rather than printing, because $(...) would forget the ports handed out.
#
# The ports lie below the kernel's ephemeral range: an outgoing connection of another
# program running at the same time (a parallel test's logins, say) takes its local port
# from that range, and a server cannot bind a port one of them holds, while the probe
# below, a connect, does not see it. Another program may still take a port between the
# probe and the bind, so a caller that starts a server tries a few.
free_port_picked=" "
free_port_low=10000
free_port_high=$(awk '{ print $1 }' /proc/sys/net/ipv4/ip_local_port_range 2>/dev/null || echo 32768)
[ "${free_port_high:-0}" -gt 12000 ] 2>/dev/null || free_port_high=32768
free_port() {
  local candidate
  for _ in $(seq 1 100); do
    candidate=$((free_port_low + RANDOM % (free_port_high - free_port_low)))
    case "$free_port_picked" in *" $candidate "*) continue ;; esac
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
      free_port_picked="$free_port_picked$candidate "
      printf -v "$1" '%s' "$candidate"
      return 0
    fi
  done
  echo "free_port: no free port on 127.0.0.1 below $free_port_high" >&2
  return 1
}
