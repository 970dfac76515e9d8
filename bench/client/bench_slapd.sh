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

# The set-up of a benchmark of TarrowCli against that slapd: cli, loop (the plain libldap loop
# on threads) and work (a folder removed at exit, with the slapd stopped), the slapd with a
# users file of 1000 lines, and work/bench.ini naming it.
#   bench_cli_setup BUILD_DIR       needs scripts (the scripts folder)
bench_cli_setup() {
  cli=$1/client/cli/TarrowCli
  loop=$1/bench/directory/ldap_threaded_loop
  work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-bench.XXXXXX")
  trap 'bash "$scripts/private-slapd.sh" stop "$work/slapd" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  start_bench_slapd "$work" 1000
  printf '[General]\r\nWorkloadUsersFile=users.csv\r\n' >"$work/bench.ini"
}
