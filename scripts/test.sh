#!/usr/bin/env bash
# The test command: installs what is missing, checks the format of every C and C++ file,
# builds, runs every test, then runs
# the whole suite again built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# fuzzes every parser for a few seconds each.
# Both suites run even when the first fails, so that one run shows every failure.
#
# The sanitizer and fuzz builds go on while the suite before them runs, as SCHED_IDLE: the
# tests mostly wait (on the directory, on sockets, on timers), and an idle-class build takes
# only the CPU time they leave, so their timing figures stay as they are alone. On two cores
# this takes about a quarter off the whole.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
failed=()
mkdir -p build
build() {  # build PRESET: configures and builds it; its output in build/PRESET.build.log
  { cmake --preset "$1" && cmake --build --preset "$1" -j "$jobs"; } >"build/$1.build.log" 2>&1
}
background_build() {  # background_build PRESET: starts the build at idle priority; pid in $!
  chrt --idle 0 bash -c "$(declare -p jobs); $(declare -f build); build $1" &
}
await_build() {  # await_build PRESET PID: waits for it; a failed build ends the test command
  if ! wait "$2"; then
    tail -40 "build/$1.build.log" >&2
    echo "== $1 build failed (log: build/$1.build.log)" >&2
    exit 1
  fi
  echo "== $1 built (at ${SECONDS} s)"
}

echo "== format"
bash scripts/check-format.sh || failed+=(format)
echo "== release build (at ${SECONDS} s)"
build release &
await_build release $!
background_build asan
asan_build=$!
echo "== release tests (at ${SECONDS} s)"
# One test a core: the tests mostly wait, but a third at once on two cores disturbed the
# paced runs' millisecond figures.
ctest --preset release -j "$jobs" || failed+=(release)
await_build asan "$asan_build"
background_build fuzz
fuzz_build=$!
echo "== asan tests (at ${SECONDS} s)"
ctest --preset asan -j "$jobs" || failed+=(asan)
await_build fuzz "$fuzz_build"
# Every parser and handler fuzzed briefly (scripts/fuzz.sh; a longer run is by hand).
echo "== fuzz (at ${SECONDS} s)"
bash scripts/fuzz.sh "${TARROW_FUZZ_SECONDS:-3}" || failed+=(fuzz)
echo "== took $((SECONDS / 60)) min $((SECONDS % 60)) s"
if [ ${#failed[@]} -ne 0 ]; then
  echo "== failed suites: ${failed[*]}" >&2
  exit 1
fi
echo "== every suite passed"
