#!/usr/bin/env bash
# Hostile peers on every port of the controller and the client, while a controlled run goes on:
#   controller  UDP discovery port: garbage, near-misses of DISCOVER and 64 KiB datagrams;
#               TCP control port and the --web port: connections that send 64 KiB of garbage,
#               that shut their sending side at once (half-open), and that never read (on the
#               web port, asking for the live events or report.json first)
#   client      UDP answer port: the same datagrams; its control connection: a controller that
#               answers discovery and then sends only garbage and never reads
# What must hold: both programs go on (the run completes its count afterwards, a new
# controller serves the client that met the garbage), their memory stays bounded (VmRSS
# before and after, FAULT_RSS_GROWTH_KB, default 16384), and every credential packet sent is
# accounted for once.
#   hostile_peers_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: hostile_peers_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"
[ -x "$peer" ] || { echo "FAIL: $peer is not built"; exit 1; }
growth=${FAULT_RSS_GROWTH_KB:-16384}

bounded_rss() {  # bounded_rss NAME PID BEFORE_KB
  local after
  after=$(rss_kb "$2")
  echo "$1: VmRSS $3 kB before, ${after:-?} kB after"
  check "$1's memory stayed bounded (+$((${after:-0} - $3)) kB, at most $growth)" \
    test -n "$after" -a "$((${after:-0} - $3))" -le "$growth"
}

write_files 20
start_slapd
say "controller with the live view, one client"
start_ctrl ctrl --count 14 --web 0 --report "$work/report" --csv "$work/replies.csv"
# The live view's line comes after the one start_ctrl waits for.
wait_for 10 grep -q '^TarrowCtrl: live view on ' "$work/ctrl.err"
web_port=$(sed -n 's|^TarrowCtrl: live view on http://127.0.0.1:\([0-9]*\)/$|\1|p' "$work/ctrl.err")
check "the live view is on (port $web_port)" test -n "$web_port"
start_client c1
c1_pid=$client_pid
check "two replies before the peers come" \
  wait_for 20 bash -c "[ \$(grep -c ',success,' '$work/replies.csv' 2>/dev/null) -ge 2 ]"
ctrl_rss=$(rss_kb "$ctrl_pid")
c1_rss=$(rss_kb "$c1_pid")

say "peers on UDP $discovery_port, TCP $control_port, web $web_port and the client's UDP $answer_port"
http_events=$'GET /events HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n'
http_report=$'GET /report.json HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n'
peers=()
"$peer" tcp-half-open "$control_port" 20 3 >"$work/p1.log" 2>&1 & peers+=($!)
"$peer" tcp-no-read "$control_port" 20 4 >"$work/p2.log" 2>&1 & peers+=($!)
"$peer" tcp-half-open "$web_port" 10 3 >"$work/p3.log" 2>&1 & peers+=($!)
"$peer" tcp-no-read "$web_port" 10 4 "$http_events" >"$work/p4.log" 2>&1 & peers+=($!)
"$peer" tcp-no-read "$web_port" 5 4 "$http_report" >"$work/p5.log" 2>&1 & peers+=($!)
for p in "${peers[@]}"; do started "$p"; done
"$peer" udp "$discovery_port" 400
"$peer" udp "$answer_port" 400
"$peer" tcp-garbage "$control_port" 30
"$peer" tcp-garbage "$web_port" 30
for p in "${peers[@]}"; do
  wait_for 10 bash -c "! kill -0 $p 2>/dev/null"
  wait "$p" 2>/dev/null
done
check "the controller is still running" kill -0 "$ctrl_pid"
check "the client is still running" kill -0 "$c1_pid"
bounded_rss TarrowCtrl "$ctrl_pid" "$ctrl_rss"
bounded_rss "TarrowCli (UDP)" "$c1_pid" "$c1_rss"
check "the live view still answers" bash -c "exec 3<>/dev/tcp/127.0.0.1/$web_port && printf '%s' '$http_report' >&3 && timeout 5 head -n 1 <&3 | grep -q '^HTTP/1.1 200'"
replies_then=$(grep -c ',success,' "$work/replies.csv")
wait_ctrl 60
cat "$work/ctrl.out"
r=$work/report/report.json
check "the run completes after the peers (status $ctrl_status)" test "$ctrl_status" -eq 0
check "it stopped at its count" has_line "stopped by:        --count 14 replies reached" "$work/ctrl.out"
check "the client replied after the peers ($replies_then before the end)" test "$replies_then" -lt 14
accounted "$r"
jq_check "$r" '.logins.performed == 14 and .logins.successful == 14'
jq_check "$r" '[.clients[] | select(.logins > 0)] | length == 1'

say "the client's control connection: a controller that sends garbage for 6 s"
free_port discovery_port || exit 1
free_port answer_port || exit 1
free_port control_port || exit 1
"$peer" fake-controller "$control_port" "$answer_port" 6 >"$work/fake.log" 2>&1 &
fake_pid=$!
started "$fake_pid"
sleep 0.3
start_client c2
c2_pid=$client_pid
check "c2 connected to the garbage controller" wait_for 5 grep -q "^status: Connected to: " "$work/c2.err"
c2_rss=$(rss_kb "$c2_pid")
"$peer" udp "$answer_port" 400
wait_for 10 bash -c "! kill -0 $fake_pid 2>/dev/null"
cat "$work/fake.log"
check "c2 is still running" kill -0 "$c2_pid"
check "c2 took the garbage for unknown packets" grep -q '^\*\*\*ERROR: Unknown Packet Type!$' "$work/c2.log"
check "c2 saw the connection lost" wait_for 3 grep -q "^status: Connection Lost: " "$work/c2.err"
bounded_rss "TarrowCli (TCP)" "$c2_pid" "$c2_rss"
say "a real controller on the same ports: c2 announces itself and completes 3 logins"
start_ctrl ctrl2 --count 3 --report "$work/report2"
wait_ctrl 30
cat "$work/ctrl2.out"
check "the new controller's run completes (status $ctrl_status)" test "$ctrl_status" -eq 0
accounted "$work/report2/report.json"
jq_check "$work/report2/report.json" '.logins.successful == 3'
finish
