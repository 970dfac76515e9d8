#!/usr/bin/env bash
# The page of a controlled run with every section (outage, clients, indeterminate logins),
# opened in headless Chromium: no console error, nothing fetched, charts drawn, numbers right.
#   check_sample_page.sh WRITE_PAGE_PROGRAM
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$1" "$here/sample_controlled_report.json" "$out/report.html"
node "$here/check_page.mjs" "file://$out/report.html" --report "$here/sample_controlled_report.json"
