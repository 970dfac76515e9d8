// The line each program prints at the end of a run with --monitor.
#pragma once

#include <string>

#include "common/monitor/monitor_sampler.h"

namespace tarrow::monitor {

// "N binds completed by the server (less the monitor's own M)" ("operations" for the
// cn=monitor entry), or "counters unavailable: REASON".
std::string directorySummary(const MonitorState& state);

}  // namespace tarrow::monitor
