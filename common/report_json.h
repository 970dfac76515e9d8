// The JSON of the figures every report of a run shares, so that the batch run's
// report.json and the controller's use the same keys and units (docs/report.md).
#pragma once

#include "common/host_counters.h"
#include "common/run_report.h"

#include <nlohmann/json_fwd.hpp>

namespace tarrow {

// {"count", "mean", "p50", "p90", "p99", "p999", "max"}: microseconds, count a number of
// values; every figure 0 for an empty histogram.
nlohmann::ordered_json latencyJson(const LatencyHistogram& h);
// {"connect": {...}, "tls": {...}, "bind": {...}, "verify": {...}, "unbind": {...}}
nlohmann::ordered_json phasesJson(const LoginLatencies& l);
// [{"t_s", "logins", "successful", "failed", "errors", "p50_us", "p99_us"}, ...]
nlohmann::ordered_json intervalsJson(const std::vector<IntervalSummary>& seconds);
// {"text": count, ...}
nlohmann::ordered_json messagesJson(const MessageCounts& m);
// {"source", "tcp_syn_retransmits", "listen_overflows", ...}: growth of each counter of
// kHostCounters from start to end, null where a reading lacks it.
nlohmann::ordered_json hostJson(const HostCounters& start, const HostCounters& end);

// The text of a report: two-space indent, a line end at the end, bytes that are not
// UTF-8 (texts in a single-byte code page) replaced by U+FFFD.
std::string reportText(const nlohmann::ordered_json& report);

}  // namespace tarrow
