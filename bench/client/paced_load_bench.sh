#!/usr/bin/env bash
# Figures for the paced batch run (TarrowCli --batch with load options) against a private slapd
# on 127.0.0.1, each beside a reference measured in the same run:
#   1. rate accuracy: --rate 1000 for SECONDS s: logins started in each full second against the
#      target (target within +-1 %) and the schedule lag p99 (target <= 1 ms), beside the lag of
#      a plain libldap loop on as many threads paced the same way (what the machine allows);
#   2. throughput: --workers 1, 2 and 4 without a rate for SECONDS s, alternated ROUNDS times
#      with a plain libldap loop on as many threads doing the same per login (new connection,
#      simple bind, "Who am I?", unbind): the median ratio of the rates (targets: 0.97 for one
#      worker, 0.95 for two and four);
#      Beside each rate, the processor time each login cost the load generator (user and
#      system, ms): that figure moves far less from round to round than the rates do, and
#      shows what the client adds to the library's own work;
#   3. memory: --rate 1000 --report for MEMORY_S s, VmRSS sampled every 5 s: the first sample
#      after 10 s against the last (held flat: everything kept per login is bounded).
#   paced_load_bench.sh BUILD_DIR [SECONDS] [ROUNDS] [MEMORY_S]     defaults: 8, 5, 600
# (ROUNDS or MEMORY_S 0 leaves that part out)
# With SPIN=1 the throughput part runs beside one busy loop a core at idle priority
# (SCHED_IDLE): on a virtual machine a core that idles between logins takes long to wake, and
# both rates then measure that more than the work; the busy loops keep the cores awake and
# give way at once to any other thread.
set -euo pipefail
build=$(cd "${1:?usage: paced_load_bench.sh BUILD_DIR [SECONDS] [ROUNDS] [MEMORY_S]}" && pwd)
seconds=${2:-8}
rounds=${3:-5}
memory_s=${4:-600}
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
source "$(dirname "$0")/bench_slapd.sh"
bench_cli_setup "$build"

paced() {  # paced OPTIONS...: one paced run; its standard error in $work/paced.err
  (cd "$work" && "$cli" --ini bench.ini --batch --answer-port 0 "$@" 2>"$work/paced.err" |
    awk '/^  There were / { print $3 }')
}

# timed VAR COMMAND...: runs COMMAND with its standard output in VAR and the processor time
# (user + system seconds) it and its children took in VAR_cpu.
timed() {
  local -n out=$1 cpu=${1}_cpu
  local t
  t=$( { TIMEFORMAT='%U %S'; time "${@:2}" >"$work/timed.out"; } 2>&1)
  out=$(cat "$work/timed.out")
  cpu=$(awk '{ print $1 + $2 }' <<<"${t##*$'\n'}")
}

echo "== Rate accuracy: --rate 1000 for $seconds s"
performed=$(paced --rate 1000 --duration "$seconds")
grep '^load:\|^warning:' "$work/paced.err"
awk -v n="$performed" -v s="$seconds" '
  /^load: logins started per full second/ { lo = $7; hi = $10 }
  /^load: latency/ { for (i = 1; i <= NF; i++) if ($i == "lag") lag = $(i + 5) }
  END {
    printf "performed %d of %d due; per full second %s %% to %s %% of the target (target within +-1 %%); schedule lag p99 %s ms (target <= 1)\n",
           n, 1000 * s, lo, hi, lag }' "$work/paced.err"
# The reference: the same schedule on as many threads of a plain libldap loop, sleeping until
# each login is due. Its lag is what this machine allows at the rate (slapd on the same cores).
workers_used=$(sed -n 's/^load: open loop, .*, \([0-9]*\) workers, .*/\1/p' "$work/paced.err")
ref=$("$loop" "ldap://127.0.0.1:$port" "$dn" benchpw "${workers_used:-50}" "$seconds" 1000)
awk -v ref="$ref" -v lag="$(awk '/^load: latency/ { for (i = 1; i <= NF; i++) if ($i == "lag") print $(i + 5) }' "$work/paced.err")" '
  BEGIN { split(ref, r, " ")
          printf "reference, a paced libldap loop on as many threads: schedule lag p50 %s ms p99 %s ms; TarrowCli p99 %s ms, %.2f times it\n",
                 r[4], r[5], lag, (r[5] > 0 ? lag / r[5] : 0) }'

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
spinners=()
if [ "$rounds" -gt 0 ]; then
  echo "== Throughput: --workers N without a rate beside a libldap loop on N threads, $rounds rounds of $seconds s"
  if [ "${SPIN:-0}" = 1 ]; then
    # Each spins only while this script lives, so the set-up's exit trap stays the only one.
    for _ in $(seq 1 "$(nproc)"); do
      chrt --idle 0 bash -c "while kill -0 $$ 2>/dev/null; do :; done" &
      spinners+=($!)
    done
    echo "   beside ${#spinners[@]} busy loops at idle priority (SPIN=1)"
  fi
fi
for workers in 1 2 4; do
  [ "$rounds" -gt 0 ] || break
  ratios=() cpu_ratios=()
  for round in $(seq 1 "$rounds"); do
    if [ $((round % 2)) -eq 1 ]; then
      timed n paced --workers "$workers" --duration "$seconds"
      timed ref "$loop" "ldap://127.0.0.1:$port" "$dn" benchpw "$workers" "$seconds"
    else
      timed ref "$loop" "ldap://127.0.0.1:$port" "$dn" benchpw "$workers" "$seconds"
      timed n paced --workers "$workers" --duration "$seconds"
    fi
    read -r ratio cli_ms loop_ms cpu_ratio < <(awk -v n="$n" -v s="$seconds" -v ref="$ref" -v c="$n_cpu" -v rc="$ref_cpu" '
      BEGIN { split(ref, r, " "); a = c * 1000 / n; b = rc * 1000 / r[1]
              printf "%.3f %.3f %.3f %.3f\n", n / s / r[3], a, b, a / b }')
    ratios+=("$ratio") cpu_ratios+=("$cpu_ratio")
    echo "   workers $workers round $round: TarrowCli $((n / ${seconds%.*}))/s $cli_ms ms CPU/login, libldap loop $(awk '{ printf "%.0f", $3 }' <<<"$ref")/s $loop_ms ms CPU/login"
  done
  target=$([ "$workers" -eq 1 ] && echo 0.97 || echo 0.95)
  echo "workers $workers: ratios ${ratios[*]}; median $(printf '%s\n' "${ratios[@]}" | median) (target >= $target); CPU per login, TarrowCli to the loop: median $(printf '%s\n' "${cpu_ratios[@]}" | median)"
done
[ "${#spinners[@]}" -eq 0 ] || kill "${spinners[@]}" 2>/dev/null || true

[ "$memory_s" -gt 0 ] || exit 0
echo "== Memory: --rate 1000 --report for $memory_s s, VmRSS every 5 s"
(cd "$work" && exec "$cli" --ini bench.ini --batch --answer-port 0 --rate 1000 --duration "$memory_s" \
  --report "$work/report" >/dev/null 2>"$work/memory.err") &
pid=$!
samples=()
while kill -0 "$pid" 2>/dev/null; do
  sleep 5
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
  [ -n "$rss" ] && samples+=("$rss")
done
wait "$pid" || true
grep '^load:\|^warning:' "$work/memory.err" || true
if [ "${#samples[@]}" -ge 3 ]; then
  echo "VmRSS KiB: after 10 s ${samples[1]}, last ${samples[-1]} (${#samples[@]} samples: ${samples[*]})"
fi
