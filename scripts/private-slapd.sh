#!/usr/bin/env bash
# A private directory server for tests and the demo: slapd on 127.0.0.1 only, with
# its own configuration and data in DIR; never the system service. The fleet script
# runs it inside a directory host's network namespace and sets PRIVATE_SLAPD_ADDRESS
# to that host's address; nothing else should.
#
#   private-slapd.sh start [--tls LDAPS_PORT] DIR PORT [FILE]   start it, seeded from FILE
#   private-slapd.sh stop DIR                stop the one started in DIR
#   private-slapd.sh ldif [FILE]             print the seed LDIF (for a look)
#
# With --tls the server gets a self-signed certificate that the script makes with
# openssl (DIR/tls/server.pem, for the address 127.0.0.1 only, key DIR/tls/server.key):
# ldap://127.0.0.1:PORT then offers StartTLS, and ldaps://127.0.0.1:LDAPS_PORT speaks
# TLS from the start. A client trusts it with LDAPTLS_CACERT=DIR/tls/server.pem; the
# name "localhost" is not in the certificate (a wrong host name, for tests). Both URLs
# are printed, one a line.
#
# FILE is either LDIF (it ends in .ldif) or a users file: one credential line per
# line, "user,password,tree,context,server[,...]" (comma, semicolon and space
# separate). Each user becomes cn=<user> under its context read right to left
# (Users.Engineering.Elmford.Vantric -> ou=Users,ou=Engineering,ou=Elmford,o=Vantric),
# with userPassword; the contexts are created as needed. The users file is read as
# Windows-1252 and stored as UTF-8, as the client converts it. Without FILE only
# the base o=Vantric / ou=Elmford / ou=Engineering / ou=Users is created.
#
# Anonymous clients may read entries (not passwords): the client tells an unknown
# user from a wrong password that way.
#
# The server's own counters are served under cn=Monitor to one monitor user only:
# bind DN cn=tarrow-monitor,cn=Monitor, with the password the script writes to
# DIR/monitor.password (new with every start; TarrowCli --monitor and TarrowCtrl
# --monitor take it from TARROW_MONITOR_PASSWORD). Anyone else sees no cn=Monitor.
set -euo pipefail

SLAPD=${SLAPD:-/usr/sbin/slapd}
SLAPADD=${SLAPADD:-/usr/sbin/slapadd}
START_WAIT_S=${PRIVATE_SLAPD_START_WAIT_S:-15}
ADDRESS=${PRIVATE_SLAPD_ADDRESS:-127.0.0.1}
[[ "$ADDRESS" =~ ^[0-9]{1,3}(\.[0-9]{1,3}){3}$ ]] || { echo "private-slapd: bad address: $ADDRESS" >&2; exit 1; }

die() { echo "private-slapd: $*" >&2; exit 1; }

# Base64 in awk, so that any byte of a name or password survives LDIF unchanged.
ldif_from_users() {
  LC_ALL=C awk '
  BEGIN {
    b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
    for (i = 0; i < 256; i++) ord[sprintf("%c", i)] = i
    # Windows-1252 bytes 0x80-0x9F; the other bytes are their own code point.
    split("20AC 81 201A 192 201E 2026 2020 2021 2C6 2030 160 2039 152 8D 17D 8F 90 2018 2019 201C 201D 2022 2013 2014 2DC 2122 161 203A 153 9D 17E 178", cp, " ")
    for (i = 1; i <= 32; i++) c1[i + 127] = hex(cp[i])
    seen[""] = 1
  }
  function hex(h,    v, k, d) {
    v = 0
    for (k = 1; k <= length(h); k++) { d = index("0123456789ABCDEF", substr(h, k, 1)) - 1; v = v * 16 + d }
    return v
  }
  function utf8(s,    out, k, c, u) {
    out = ""
    for (k = 1; k <= length(s); k++) {
      c = ord[substr(s, k, 1)]
      u = (c >= 128 && c < 160) ? c1[c] : c
      if (u < 128) out = out sprintf("%c", u)
      else if (u < 2048) out = out sprintf("%c%c", 192 + int(u / 64), 128 + u % 64)
      else out = out sprintf("%c%c%c", 224 + int(u / 4096), 128 + int(u / 64) % 64, 128 + u % 64)
    }
    return out
  }
  function base64(s,    out, k, n, a, b, c) {
    out = ""; n = length(s)
    for (k = 1; k <= n; k += 3) {
      a = ord[substr(s, k, 1)]; b = (k + 1 <= n) ? ord[substr(s, k + 1, 1)] : 0; c = (k + 2 <= n) ? ord[substr(s, k + 2, 1)] : 0
      out = out substr(b64, int(a / 4) + 1, 1) substr(b64, (a % 4) * 16 + int(b / 16) + 1, 1)
      out = out ((k + 1 <= n) ? substr(b64, (b % 16) * 4 + int(c / 64) + 1, 1) : "=")
      out = out ((k + 2 <= n) ? substr(b64, c % 64 + 1, 1) : "=")
    }
    return out
  }
  # The same escaping as the client library uses for a DN value.
  function esc(v,    out, k, ch, n) {
    out = ""; n = length(v)
    for (k = 1; k <= n; k++) {
      ch = substr(v, k, 1)
      if (index(",+\"\\<>;=", ch) || (k == 1 && (ch == " " || ch == "#")) || (k == n && ch == " ")) out = out "\\" ch
      else out = out ch
    }
    return out
  }
  function context_dn(ctx,    parts, n, k, dn, attr) {
    n = split(ctx, parts, ".")
    dn = ""
    for (k = n; k >= 1; k--) {
      if (parts[k] == "") return ""
      attr = (k == n) ? "o" : "ou"
      dn = attr "=" esc(parts[k]) (dn == "" ? "" : "," dn)
      if (!(dn in seen)) {
        seen[dn] = 1
        printf "dn:: %s\nobjectClass: %s\n%s:: %s\n\n", base64(dn), (attr == "o" ? "organization" : "organizationalUnit"), attr, base64(parts[k])
      }
    }
    return dn
  }
  {
    sub(/\r$/, "")
    n = split($0, f, /[,; ]+/)
    k = 0
    for (i = 1; i <= n; i++) if (f[i] != "") field[++k] = f[i]
    if (k < 5) next
    user = utf8(field[1]); pass = utf8(field[2]); ctx = utf8(field[4])
    if (tolower(ctx) !~ /(^|\.)vantric$/) { print "private-slapd: skipping line " NR - 1 ": context " ctx " is not under Vantric" > "/dev/stderr"; next }
    base = context_dn(ctx)
    if (base == "") { print "private-slapd: skipping line " NR - 1 ": bad context " ctx > "/dev/stderr"; next }
    if (NR == 1) next  # the base line: contexts only
    dn = "cn=" esc(user) (base == "" ? "" : "," base)
    if (dn in seen) next
    seen[dn] = 1
    printf "dn:: %s\nobjectClass: person\ncn:: %s\nsn:: %s\nuserPassword:: %s\n\n", base64(dn), base64(user), base64(user), base64(pass)
  }
  END { }
  ' "$@"
}

# An LDIF file is taken as it stands (it must hold the base entries too); a users
# file follows a first line that only creates the base.
seed_ldif() {
  local file=${1:-}
  if [ -n "$file" ]; then [ -r "$file" ] || die "cannot read seed file $file"; fi
  case "$file" in
    *.ldif) cat "$file" ;;
    *) { echo "- - - Users.Engineering.Elmford.Vantric -"; [ -z "$file" ] || cat "$file"; } | ldif_from_users ;;
  esac
}

# A self-signed certificate for 127.0.0.1, made anew with every start.
make_certificate() {
  local tls=$1
  command -v openssl >/dev/null 2>&1 || die "--tls needs openssl"
  mkdir -p "$tls"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj "/O=Tarrow private slapd/CN=$ADDRESS" -addext "subjectAltName=IP:$ADDRESS" \
    -keyout "$tls/server.key" -out "$tls/server.pem" >"$tls/openssl.log" 2>&1 \
    || die "openssl could not make a certificate: $(tail -3 "$tls/openssl.log")"
  chmod 600 "$tls/server.key"
}

write_config() {
  local dir=$1 tls=${2:-}
  {
    if [ -n "$tls" ]; then
      printf 'TLSCertificateFile %s\nTLSCertificateKeyFile %s\n' "$tls/server.pem" "$tls/server.key"
    fi
  } >"$dir/slapd.conf"
  cat >>"$dir/slapd.conf" <<CONF
include /etc/ldap/schema/core.schema
include /etc/ldap/schema/cosine.schema
include /etc/ldap/schema/inetorgperson.schema
pidfile $dir/slapd.pid
argsfile $dir/slapd.args
modulepath /usr/lib/ldap
moduleload back_mdb
loglevel none
database mdb
suffix "o=Vantric"
rootdn "cn=admin,o=Vantric"
rootpw $(head -c 18 /dev/urandom | od -An -tx1 | tr -d ' \n')
directory $dir/data
maxsize 1073741824
access to attrs=userPassword by self write by anonymous auth by * none
access to * by * read
database monitor
rootdn "cn=tarrow-monitor,cn=Monitor"
rootpw $(cat "$dir/monitor.password")
access to dn.subtree="cn=Monitor" by dn.exact="cn=tarrow-monitor,cn=Monitor" read by * none
CONF
}

valid_port() { [[ "$1" =~ ^[0-9]+$ ]] && [ "$1" -ge 1 ] && [ "$1" -le 65535 ]; }

start() {
  local tls_port=""
  if [ "${1:-}" = "--tls" ]; then tls_port=${2:-}; shift 2 || die "--tls needs a port"; fi
  local dir=$1 port=$2 file=${3:-}
  valid_port "$port" || die "bad port: $port"
  if [ -n "$tls_port" ]; then
    valid_port "$tls_port" && [ "$tls_port" != "$port" ] || die "bad --tls port: $tls_port"
  fi
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if [ -f "$dir/slapd.pid" ] && kill -0 "$(cat "$dir/slapd.pid")" 2>/dev/null; then
    die "a server already runs in $dir (pid $(cat "$dir/slapd.pid"))"
  fi
  rm -rf "$dir/data" "$dir/tls" && mkdir -p "$dir/data"
  local urls="ldap://$ADDRESS:$port/"
  if [ -n "$tls_port" ]; then
    make_certificate "$dir/tls"
    urls="$urls ldaps://$ADDRESS:$tls_port/"
  fi
  (umask 077 && head -c 18 /dev/urandom | od -An -tx1 | tr -d ' \n' >"$dir/monitor.password")
  write_config "$dir" "${tls_port:+$dir/tls}"
  seed_ldif "$file" >"$dir/seed.ldif"
  "$SLAPADD" -q -f "$dir/slapd.conf" -l "$dir/seed.ldif" >"$dir/slapadd.log" 2>&1 \
    || die "seeding failed: $(tail -3 "$dir/slapadd.log")"
  if ! "$SLAPD" -f "$dir/slapd.conf" -h "$urls" >"$dir/slapd.log" 2>&1; then
    for p in $port $tls_port; do
      if (exec 3<>"/dev/tcp/$ADDRESS/$p") 2>/dev/null; then die "port $p on $ADDRESS is in use"; fi
    done
    die "slapd did not start on $ADDRESS:$port (a port already bound fails silently) $(tail -3 "$dir/slapd.log")"
  fi
  local deadline=$((SECONDS + START_WAIT_S))
  until [ -s "$dir/slapd.pid" ] && (exec 3<>"/dev/tcp/$ADDRESS/$port") 2>/dev/null &&
        { [ -z "$tls_port" ] || (exec 3<>"/dev/tcp/$ADDRESS/$tls_port") 2>/dev/null; }; do
    if [ $SECONDS -ge $deadline ]; then
      stop "$dir" || true
      die "slapd did not listen on $ADDRESS:$port${tls_port:+ and $tls_port} within ${START_WAIT_S}s"
    fi
    sleep 0.05
  done
  echo "ldap://$ADDRESS:$port"
  [ -z "$tls_port" ] || echo "ldaps://$ADDRESS:$tls_port"
}

stop() {
  local dir=$1
  [ -f "$dir/slapd.pid" ] || return 0
  local pid
  pid=$(cat "$dir/slapd.pid")
  [[ "$pid" =~ ^[0-9]+$ ]] || die "bad pid file $dir/slapd.pid"
  kill -TERM "$pid" 2>/dev/null || { rm -f "$dir/slapd.pid"; return 0; }
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || { rm -f "$dir/slapd.pid"; return 0; }
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
  rm -f "$dir/slapd.pid"
}

case "${1:-}" in
  start)
    shift
    if [ "${1:-}" = "--tls" ]; then
      [ $# -ge 4 ] || die "usage: $0 start [--tls LDAPS_PORT] DIR PORT [FILE]"
      start --tls "$2" "$3" "$4" "${5:-}"
    else
      [ $# -ge 2 ] || die "usage: $0 start [--tls LDAPS_PORT] DIR PORT [FILE]"
      start "$1" "$2" "${3:-}"
    fi ;;
  stop) [ $# -ge 2 ] || die "usage: $0 stop DIR"; stop "$2" ;;
  ldif) seed_ldif "${2:-}" ;;
  *) die "usage: $0 start [--tls LDAPS_PORT] DIR PORT [FILE] | stop DIR | ldif [FILE]" ;;
esac
