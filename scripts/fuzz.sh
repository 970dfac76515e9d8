#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan, UBSan) and runs every harness in turn.
#   scripts/fuzz.sh [SECONDS]         each harness for SECONDS (default 30)
#   FUZZ_RUNS=N scripts/fuzz.sh [S]   each harness until N executions (or S seconds, if sooner)
#   FUZZ_ONLY="ini_file users_file"   only those harnesses
# A crash, a leak, a time-out (10 s for one input) or memory beyond 2 GB fails the run; the
# input that caused it is left in build/fuzz/findings/<what>/ and named on standard error.
# Inputs the fuzzer found worth keeping grow in build/fuzz/work/<what>/ (not in the repository).
# Prints one line of figures per harness: executions, coverage (edges, features), seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
runs=${FUZZ_RUNS:--1}
root=$PWD
build=$root/build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

harnesses=${FUZZ_ONLY:-$(cd tests/fuzz && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//' | grep -v -e '^input$' -e '^replay$')}
# The harnesses write their scratch files to memory, not to the disk.
scratch=$(mktemp -d /dev/shm/tarrow-fuzz.XXXXXX 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The sanitizer runtime is a shared library here (the directory double is one, too).
export ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TMPDIR=$scratch

failed=()
printf '%-16s %12s %8s %8s %8s\n' harness executions edges features seconds
for what in $harnesses; do
  work=$build/work/$what
  findings=$build/findings/$what
  mkdir -p "$work" "$findings"
  dict=()
  [ -f "tests/fuzz/dict/$what.dict" ] && dict=(-dict="tests/fuzz/dict/$what.dict")
  log=$build/work/$what.log
  start=$(date +%s)
  status=0
  "$build/tests/fuzz/fuzz_$what" "${dict[@]}" -max_total_time="$seconds" -runs="$runs" \
    -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$what" >"$log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 | awk '{print $2, $4}')
  read -r edges features <<<"${cov:-? ?}"
  printf '%-16s %12s %8s %8s %8s\n' "$what" "${execs:-?}" "$edges" "$features" "$elapsed"
  if [ "$status" -ne 0 ]; then
    failed+=("$what")
    echo "fuzz: fuzz_$what failed (status $status); reproducer in $findings/, log in $log:" >&2
    grep -E '^==[0-9]+==ERROR|SUMMARY|Test unit written' "$log" >&2 || tail -5 "$log" >&2
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed harnesses: ${failed[*]}" >&2
  exit 1
fi
