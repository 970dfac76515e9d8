// The directory's readings turned into the run's seconds: the same seconds as the
// report's intervals, each from the reading at its start to the reading at its end.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/monitor/monitor_sampler.h"

namespace tarrow::monitor {

struct DirectoryInterval {
    std::int64_t second = 0;
    // Completed binds (operations, for the cn=monitor entry) in the second, less the
    // monitor's own; nothing when a reading at either end is missing.
    std::optional<std::int64_t> completed;
    // Gauges at the second's end; -1 when unknown.
    std::int64_t connections = -1;
    std::int64_t readWaiters = -1;
    std::int64_t writeWaiters = -1;
    std::int64_t threads = -1;
};

// One entry per second 0 .. seconds-1.
std::vector<DirectoryInterval> directoryIntervals(const MonitorState& state, std::size_t seconds);

}  // namespace tarrow::monitor
