# Sourced by the client benchmarks: a private slapd on a free port of 127.0.0.1, seeded with
# one user (benchuser / benchpw), and a users file of LINES copies of its credential line.
#   start_bench_slapd WORK LINES     sets port and dn; needs scripts (the scripts folder)
start_bench_slapd() {
  local work=$1 lines=$2 attempt line
  printf 'benchuser,benchpw,x,Users.Engineering.Elmford.Vantric,x\n' >"$work/seed.csv"
  source "$scripts/free-port.sh"
  for attempt in 1 2 3 4 5; do
    free_port port
    bash "$scripts/private-slapd.sh" start "$work/slapd" "$port" "$work/seed.csv" >/dev/null && break
    [ "$attempt" -lt 5 ] || exit 1
  done
  line="benchuser,benchpw,127.0.0.1:$port,Users.Engineering.Elmford.Vantric,NotUsed"
  for _ in $(seq 1 "$lines"); do echo "$line"; done >"$work/users.csv"
  dn="cn=benchuser,ou=Users,ou=Engineering,ou=Elmford,o=Vantric"
}
