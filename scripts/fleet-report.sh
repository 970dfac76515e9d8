# What a fleet run did, sourced by fleet.sh: replies by second, the controllers' summaries added
# up, and metrics.txt (one key=value a line, read by the tests and the benchmark).
# Times are seconds since the workstations started (t0_day_s: their start, UTC seconds of the day).

# Seconds of the day of an "HH:MM:SS.fraction" UTC time.
day_seconds() { awk -v t="$1" 'BEGIN { split(t, p, ":"); printf "%.3f", p[1] * 3600 + p[2] * 60 + p[3] }'; }

# The controllers' CSV rows as "seconds outcome", seconds since the start (the next day wraps).
reply_rows() {  # CSV...
  cat "$@" | tr -d '\r' | awk -F, -v t0="$t0_day_s" 'NR > 1 && $1 ~ /T/ {
    split(substr($1, 12, 12), p, ":"); s = p[1] * 3600 + p[2] * 60 + p[3] - t0
    if (s < -1) s += 86400
    printf "%.3f %s\n", s, $4 }'
}

timeline() {  # CSV...
  reply_rows "$@" | awk '{ b = int($1); if (b > last) last = b; n[b, $2]++ }
    END { for (b = 0; b <= last; b++) printf "  %4d s  %4d success  %4d failed  %4d error\n", b, n[b, "success"], n[b, "failed"], n[b, "error"] }'
}

# Sets total_replies, total_sent, total_lost and replied_clients from the summaries.
add_up_summaries() {  # SUMMARY...
  local log n sent lost
  total_replies=0; total_sent=0; total_lost=0
  for log in "$@"; do
    n=$(awk '/^  replies: / { print $2 }' "$log" 2>/dev/null || true)
    sent=$(awk '/^  packets sent: / { print $3 }' "$log" 2>/dev/null || true)
    lost=$(awk '/^  packets sent: / { gsub(/\(/, "", $4); print $4 }' "$log" 2>/dev/null || true)
    total_replies=$((total_replies + ${n:-0})); total_sent=$((total_sent + ${sent:-0})); total_lost=$((total_lost + ${lost:-0}))
  done
  replied_clients=$(cat "$@" 2>/dev/null | awk '/^  per client:/ { on = 1; next } on && /^    / { split($1, a, ":"); print a[1]; next } { on = 0 }' | sort -u | wc -l)
}

# Logins per second from the first to the last reply, and while every client works: from 2 s
# after the last one connected to 2 s before the end.
login_rates() {  # ALL_CONNECTED_S CSV...
  local all=$1
  shift
  reply_rows "$@" | awk -v all="$all" '{ t[++n] = $1; if (n == 1 || $1 < first) first = $1; if ($1 > last) last = $1 }
    END {
      if (n > 1 && last > first) printf "logins_per_s=%.1f\n", (n - 1) / (last - first)
      from = all + 2; to = last - 2
      if (all != "" && to - from >= 2) { m = 0; for (i = 1; i <= n; i++) if (t[i] >= from && t[i] < to) m++; printf "logins_per_s_all_working=%.1f\n", m / (to - from) }
    }'
}

# Seconds since the start at which CONNECTIONS established control connections were first seen.
connected_at() { awk -v want="$1" '$2 >= want { print $1; exit }' "$run/connections.log"; }

# The kernel's memory as /proc/meminfo has it: "MemAvailable Slab+Percpu" in KiB. The machine
# is shared, so the difference around the setup is an estimate that grows better with K.
kernel_memory_kib() {
  awk '/^MemAvailable:/ { a = $2 } /^(Slab|Percpu):/ { k += $2 } END { print a, k }' /proc/meminfo
}
kernel_per_host() {  # "BEFORE" "AFTER" NAMESPACES
  awk -v b="$1" -v a="$2" -v n="$3" 'BEGIN { split(b, x, " "); split(a, y, " ")
    printf "kernel_kib_per_namespace=%.0f\navailable_kib_per_namespace=%.0f\n", (y[2] - x[2]) / n, (x[1] - y[1]) / n }'
}
