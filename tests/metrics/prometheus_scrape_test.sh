#!/usr/bin/env bash
# A real Prometheus server scrapes a controlled run: Debian's prometheus, started privately
# on 127.0.0.1 with a data folder of its own and a scrape interval of 1 s, scrapes
# TarrowCtrl --web /metrics while one client logs in against a private slapd (the
# controller reads the directory's counters with --monitor). After the run its query API
# must give the report's figures: tarrow_logins_total equal to logins.performed,
# histogram_quantile(0.99) within one exported bucket of the report's p99, and the
# directory's completed binds (less the monitor's own) equal to the logins.
#   prometheus_scrape_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
FAULT_DEADLINE_S=${FAULT_DEADLINE_S:-60}
source "$(dirname "$0")/../faults/faults_lib.sh"

prometheus=${PROMETHEUS:-$(command -v prometheus || echo /usr/bin/prometheus)}
[ -x "$prometheus" ] || skip "no prometheus (Debian package prometheus)"
command -v curl >/dev/null || skip "no curl"

logins=8
free_port web_port || exit 1
free_port prom_port || exit 1
write_files 5
start_slapd
export TARROW_MONITOR_PASSWORD
TARROW_MONITOR_PASSWORD=$(cat "$work/slapd/monitor.password")

cat >"$work/prometheus.yml" <<YML
global:
  scrape_interval: 1s
  scrape_timeout: 900ms
scrape_configs:
  - job_name: tarrow
    static_configs:
      - targets: ['127.0.0.1:$web_port']
YML
"$prometheus" --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/prometheus-data" \
  --web.listen-address="127.0.0.1:$prom_port" >"$work/prometheus.log" 2>&1 &
started $!
api="http://127.0.0.1:$prom_port"
check "prometheus is ready" wait_for 15 curl -sf "$api/-/ready" -o /dev/null

start_ctrl ctrl --count "$logins" --web "$web_port" --web-hold 3 --report "$work/report" \
  --monitor "ldap://127.0.0.1:$ldap_port" --monitor-bind cn=tarrow-monitor,cn=Monitor
start_client client
check "the client connects" poke_until_connected client "$answer_port"
wait_ctrl 40
check "TarrowCtrl ended with status 0" test "$ctrl_status" -eq 0
report=$work/report/report.json
[ -f "$report" ] || { echo "FAIL: no report"; cat "$work/ctrl.err"; exit 1; }
has_line "directory: $logins binds completed" "$work/ctrl.err" || cat "$work/ctrl.err"

# The target is gone now, and its series stale: each query takes the last value scraped.
query() {
  curl -sf --get "$api/api/v1/query" --data-urlencode "query=$1" | jq -r '.data.result[0].value[1] // "none"'
}
performed=$(jq '.logins.performed' "$report")
p99_us=$(jq '.latency_us.p99' "$report")
total=$(query 'sum(last_over_time(tarrow_logins_total[1m]))')
check "tarrow_logins_total ($total) equals logins.performed ($performed)" test "$total" = "$performed"
check "every login was timed" test "$(query 'last_over_time(tarrow_login_duration_seconds_count[1m])')" = "$performed"
q99=$(query 'histogram_quantile(0.99, last_over_time(tarrow_login_duration_seconds_bucket[1m]))')
# The exported bucket that holds the report's p99: four bounds to each power of two.
read -r lo hi < <(awk -v v="$p99_us" 'BEGIN {
  lo = 0
  for (e = 5; e < 26; e++) for (k = 0; k < 4; k++) { b = 2^e + k * 2^e / 4; if (b > v) { print lo, b; exit } lo = b }
  print lo, 2^26 }')
within=$(awk -v q="$q99" -v lo="$lo" -v hi="$hi" -v p="$p99_us" \
  'BEGIN { us = q * 1e6; d = us - p; if (d < 0) d = -d; print (d <= hi - lo) ? "yes" : "no" }')
check "histogram_quantile(0.99) = ${q99} s lies within one bucket ($lo..$hi us) of the report's p99 ($p99_us us)" \
  test "$within" = yes
jq_check "$report" ".directory.totals.completed == $performed"
binds=$(query 'last_over_time(tarrow_directory_binds_completed_total[1m])')
check "the directory completed $performed binds beside the monitor's own ($binds)" test "$binds" = "$performed"
check "the monitor bound once, before the run: none of its binds fall in it" \
  test "$(query 'last_over_time(tarrow_directory_monitor_binds_total[1m])')" = 0
check "no user name is a label" bash -c "! curl -sf '$api/api/v1/labels' | jq -r '.data[]' | grep -qvx -e __name__ -e instance -e job -e le -e outcome -e phase"
finish
