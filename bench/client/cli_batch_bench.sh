#!/usr/bin/env bash
# Figures for TarrowCli --batch, each beside a reference measured in the same run:
#   1. LINES lines against the recording directory double (no network): lines per second;
#   2. LOGINS logins against a private slapd on 127.0.0.1, beside a plain libldap loop
#      doing the same per login (new connection, simple bind, who-am-I, unbind): the ratio.
#   cli_batch_bench.sh BUILD_DIR [LINES] [LOGINS]
set -euo pipefail
build=$(cd "${1:?usage: cli_batch_bench.sh BUILD_DIR [LINES] [LOGINS]}" && pwd)
lines=${2:-1000000}
logins=${3:-3000}
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
cli=$build/client/cli/TarrowCli
work=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-bench.XXXXXX")
trap 'bash "$scripts/private-slapd.sh" stop "$work/slapd" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
now() { date +%s.%N; }

printf '[General]\r\nWorkloadUsersFile=users.csv\r\n' > "$work/bench.ini"

echo "== TarrowCli --batch, $lines lines, recording double"
"$build/generator/cli/TarrowMgrCli" --num-users "$lines" --working-dir "$work/" --csv-file users.csv >/dev/null
t0=$(now)
(cd "$work" && LD_LIBRARY_PATH="$build/qds/fake" "$cli" --ini bench.ini --batch --answer-port 0 2>/dev/null | tail -n 3)
t1=$(now)
awk -v n="$lines" -v a="$t0" -v b="$t1" 'BEGIN { printf "lines/s: %.0f (target >= 300000)\n", n / (b - a) }'

echo "== TarrowCli --batch against slapd, beside a plain libldap loop, $logins logins each"
port=$((20000 + RANDOM % 30000))
printf 'benchuser,benchpw,x,Users.Engineering.Elmford.Vantric,x\n' > "$work/seed.csv"
bash "$scripts/private-slapd.sh" start "$work/slapd" "$port" "$work/seed.csv" >/dev/null
line="benchuser,benchpw,127.0.0.1:$port,Users.Engineering.Elmford.Vantric,NotUsed"
for _ in $(seq 1 "$logins"); do echo "$line"; done > "$work/users.csv"
t0=$(now)
(cd "$work" && "$cli" --ini bench.ini --batch --answer-port 0 2>/dev/null | tail -n 1)
t1=$(now)
ref=$("$build/bench/directory/ldap_login_loop" "ldap://127.0.0.1:$port" \
      "cn=benchuser,ou=Users,ou=Engineering,ou=Elmford,o=Vantric" benchpw "$logins")
awk -v n="$logins" -v a="$t0" -v b="$t1" -v ref="$ref" 'BEGIN {
  split(ref, r, " "); cli = n / (b - a)
  printf "TarrowCli: %.0f logins/s; libldap loop: %.0f logins/s; ratio %.3f (target >= 0.9)\n", cli, r[3], cli / r[3] }'
