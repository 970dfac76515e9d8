#!/usr/bin/env bash
# Faults on a fleet, one per run, each with bounded time:
#   workstation_link  ws1's link down for 6 s while it holds a credential
#   directory_link    the directory host's link down for 5 s
#   directory_delay   every exchange with the directory held 20 ms by the relay
#   controller_down   the controller host shut down for 10 s and back
set -uo pipefail
fault=${1:?usage: fleet_fault_test.sh FAULT BUILD_DIR}
build=${2:?usage: fleet_fault_test.sh FAULT BUILD_DIR}
source "$(dirname "$0")/fleet_test_lib.sh"
skip_unless_fleet_possible

# Lines of a log after the last time the client took the controller's answer.
after_last_answer() { awk -v a="Received: DISCOVER from $ctrl_addr" '$0 == a { n = NR } { l[NR] = $0 } END { for (i = n + 1; i <= NR; i++) print l[i] }' "$1"; }
answers_taken() { grep -cx "Received: DISCOVER from $ctrl_addr" "$1"; }
# Seconds (since the workstations started) of the CSV rows whose outcome is $2.
reply_seconds() {
  local t0
  t0=$(metric t0_utc_day_s)
  tr -d '\r' <"$1" | awk -F, -v t0="$t0" -v kind="$2" 'NR > 1 && $4 == kind {
    split(substr($1, 12, 12), p, ":"); s = p[1] * 3600 + p[2] * 60 + p[3] - t0; if (s < -1) s += 86400; printf "%.1f\n", s }'
}
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }

case "$fault" in
workstation_link)
  # The controller gives up on a reply after 4 s, so it accounts for ws1's login during the
  # outage; ws1 learns of the dropped connection once its link is back, and finds the
  # controller again by broadcast.
  run_fleet --reply-timeout 4 --link-down ws1:8:14 3 80
  check "the fleet run succeeds (exit $status)" test "$status" -eq 0
  check "every login answered" has_line "    success (R1):    80"
  check "ws1's login is accounted as dropped for no reply" \
    grep -Eq "^  dropped because:   0 not a reply packet, 0 data with no packet outstanding, [1-9][0-9]* no reply in time$" <<<"$out"
  lost=$(metric packets_without_reply)
  check "packets sent = replies + packets without a reply" test "$(metric packets_sent)" -eq $((80 + lost))
  check "at least one packet without a reply ($lost)" test "$lost" -ge 1
  check "ws1 lost its connection" grep -qx "status: Connection Lost: $ctrl_addr:2308" "$run/ws1/client.err"
  check "ws1 took the controller's answer again" test "$(answers_taken "$run/ws1/client.log")" -ge 2
  check "ws1 had credentials again after it found the controller" \
    grep -q "^Received: UElmfordTestUser" <(after_last_answer "$run/ws1/client.log")
  check "ws1 replied over two connections" test "$(grep -Ec '^    10\.231\.0\.11:[0-9]+  [0-9]+ / [0-9]+ / [0-9]+$' <<<"$out")" -ge 2
  ;;
directory_link)
  run_fleet --link-down dir:8:13 4 50
  check "the fleet run succeeds (exit $status)" test "$status" -eq 0
  check "every login answered" has_line "  packets sent:      50 (0 without a reply)"
  errors=$(summary_figure "error (R0 text):")
  check "logins failed during the outage ($errors)" test "${errors:-0}" -ge 1
  # Every failure is an unreachable server (-201) or a time-out (-202) of the login or its check.
  other=$(awk '/^  error messages:/ { on = 1; next } on && /^    / { if ($0 !~ /QVDS(Login|AuthenticateConn) returned -20[12]$/) print; next } { on = 0 }' <<<"$out")
  check "only the documented codes of an unreachable directory: ${other:-none other}" test -z "$other"
  first_error=$(reply_seconds "$run/replies.csv" error | sort -n | head -1)
  last_error=$(reply_seconds "$run/replies.csv" error | sort -n | tail -1)
  last_success=$(reply_seconds "$run/replies.csv" success | sort -n | tail -1)
  check "failures start with the outage ($first_error s)" le 8 "${first_error:-0}"
  # A login under way when the link went down waits out the 5 s operation time-out.
  check "failures end within the time-outs after it ($last_error s)" le "${last_error:-99}" 19
  check "logins succeed again afterwards ($last_success s)" le "${last_error:-99}" "${last_success:-0}"
  check "the timeline shows the outage" grep -q "^== Replies by second" <<<"$out"
  ;;
directory_delay)
  # Each login has two exchanges with the directory (bind, "Who am I?"); each request is held
  # 20 ms, so a login takes about 40 ms longer. The TCP handshake is the relay host's own and
  # does not rise.
  run_fleet --dir-delay-ms 20 --batch --users 20 3 30
  check "the fleet run succeeds (exit $status)" test "$status" -eq 0
  check "no login lost" has_line "  packets sent:      30 (0 without a reply)"
  check "every login succeeded" has_line "    success (R1):    30"
  mean=$(summary_figure "reply time (ms):   mean")
  check "reply times hold the 1 s delay and two held requests ($mean ms)" le 1036 "${mean:-0}"
  elapsed_ms() { awk '/^It took: / { split($3, t, ":"); print ((t[1] * 60 + t[2]) * 60 + t[3]) * 1000 + t[4] }' "$1"; }
  direct=$(elapsed_ms "$run/batch-direct/batch.log")
  relayed=$(elapsed_ms "$run/batch-relay/batch.log")
  check "both batch runs did 20 logins" test "$(grep -c '  Successful operations: 20' "$run"/batch-*/batch.log | awk -F: '{ n += $2 } END { print n }')" -eq 2
  per_login=$(( (${relayed:-0} - ${direct:-0}) / 20 ))
  echo "batch: direct ${direct} ms, through the relay ${relayed} ms for 20 logins: ${per_login} ms more per login"
  check "a login through the relay takes two delays longer (${per_login} ms)" le 36 "$per_login"
  check "and not much more: held once per request (${per_login} ms)" le "$per_login" 70
  ;;
controller_down)
  run_fleet --ctrl-down 8:18 4 40
  check "the fleet run succeeds (exit $status)" test "$status" -eq 0
  check "the logins add up over both controllers" test "$(metric replies)" -eq 40
  check "packets sent = replies + packets without a reply" \
    test "$(metric packets_sent)" -eq $((40 + $(metric packets_without_reply)))
  check "the first controller stopped on the signal" grep -qx "  stopped by:        SIGTERM received" "$run/controller.log"
  again=$(metric reconnected_after_s)
  check "all four found it again within one announcement period (${again:-never} s)" le "${again:-99}" 6.0
  for i in 1 2 3 4; do
    check "ws$i lost the controller" grep -qx "status: Connection Lost: $ctrl_addr:2308" "$run/ws$i/client.err"
    check "ws$i replied to the controller that came back" grep -Eq "^    10\.231\.0\.$((10 + i)):[0-9]+  [1-9][0-9]* / [0-9]+ / [0-9]+$" "$run/controller-2.log"
  done
  ;;
*) echo "unknown fault $fault"; exit 2 ;;
esac
finish
