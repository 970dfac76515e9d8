#!/usr/bin/env bash
# The page of a controlled run with every section (outage, clients, indeterminate logins), and of
# a paced batch run (logins due against started, latency against service time, the warning), of
# a capacity search,
# opened in headless Chromium: no console error, nothing fetched, charts drawn, numbers right,
# the start time in the heading; in format 2 and in format 1.
#   check_sample_page.sh WRITE_PAGE_PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$1" "$here/sample_controlled_report.json" "$out/report.html"
node "$here/check_page.mjs" "file://$out/report.html" --report "$here/sample_controlled_report.json"
# A paced batch run (one worker through a login storm it cannot keep up with): its load section.
"$1" "$here/sample_paced_report.json" "$out/paced.html"
node "$here/check_page.mjs" "file://$out/paced.html" --report "$here/sample_paced_report.json"
# A capacity search (against the double of 1,000 logins/s): latency and throughput against
# the offered rate, the bound and the result marked, the steps as a table.
"$1" "$here/sample_capacity_report.json" "$out/capacity.html"
node "$here/check_page.mjs" "file://$out/capacity.html" --report "$here/sample_capacity_report.json" \
  ${CAPACITY_SCREENSHOT:+--screenshot "$CAPACITY_SCREENSHOT"}
# The same report in format 1, where a controlled run named its start "started".
sed -e 's/"format": 2/"format": 1/' -e 's/"started_utc"/"started"/' "$here/sample_controlled_report.json" >"$out/format1.json"
"$1" "$out/format1.json" "$out/format1.html"
node "$here/check_page.mjs" "file://$out/format1.html" --report "$out/format1.json"
