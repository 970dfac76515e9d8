// The "directory" section of report.json (docs/report.md): where the counters came from,
// the run's seconds as the server counted them, and the totals; or "unavailable" with the
// reason.
#pragma once

#include <cstddef>

#include <nlohmann/json.hpp>

#include "common/monitor/monitor_sampler.h"

namespace tarrow::monitor {

// seconds: how many entries the report's intervals[] has; directory.intervals[] has as many.
nlohmann::ordered_json directoryJson(const MonitorState& state, std::size_t seconds);

}  // namespace tarrow::monitor
