#!/usr/bin/env bash
# The test command: installs what is missing, checks the format of every C and C++ file,
# builds, runs every test, then runs
# the whole suite again built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# fuzzes every parser for a few seconds each.
# Both suites run even when the first fails, so that one run shows every failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
failed=()
echo "== format"
bash scripts/check-format.sh || failed+=(format)
for preset in release asan; do
  echo "== $preset build (at ${SECONDS} s)"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset tests (at ${SECONDS} s)"
  # One test a core: the tests mostly wait, but a third at once on two cores disturbed the
  # paced runs' millisecond figures.
  ctest --preset "$preset" -j "$jobs" || failed+=("$preset")
done
# Every parser and handler fuzzed briefly (scripts/fuzz.sh; a longer run is by hand).
echo "== fuzz (at ${SECONDS} s)"
bash scripts/fuzz.sh "${TARROW_FUZZ_SECONDS:-3}" || failed+=(fuzz)
echo "== took $((SECONDS / 60)) min $((SECONDS % 60)) s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "== failed suites: ${failed[*]}" >&2
  exit 1
fi
echo "== every suite passed"
