// The metrics of a run as Prometheus scrapes them (docs/metrics.md): the same set for a
// controlled run and a batch run, with a bounded label set (outcome, phase; never a user
// name or a client address).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/monitor/monitor_sampler.h"
#include "report/model/run_report.h"

namespace tarrow::metrics {

// A paced run's schedule (docs/metrics.md): each login's service time (start to end) and
// schedule lag (due to start), the logins due and started, and the target rate of the moment.
struct ScheduleFigures {
    const LatencyHistogram* service = nullptr;
    const LatencyHistogram* scheduleLag = nullptr;
    std::uint64_t due = 0;
    std::uint64_t started = 0;
    std::optional<double> targetRate;  // an open loop only
};

struct RunFigures {
    std::uint64_t successful = 0;
    std::uint64_t failed = 0;
    std::uint64_t errors = 0;
    const LoginLatencies* latencies = nullptr;         // whole logins and their phases
    std::optional<std::uint64_t> clientsConnected;     // a controlled run only
    std::optional<std::uint64_t> indeterminate;        // a controlled run only
    const monitor::MonitorState* directory = nullptr;  // with --monitor only
    const ScheduleFigures* schedule = nullptr;         // a paced batch run only
};

// The text /metrics serves.
std::string runMetricsText(const RunFigures& figures);

}  // namespace tarrow::metrics
