#include "common/monitor/directory_summary.h"

namespace tarrow::monitor {

std::string directorySummary(const MonitorState& state) {
    const auto others = state.completedByOthers();
    if (!others)
        return "counters unavailable: " +
               (state.unavailable.empty() ? "fewer than two readings" : state.unavailable);
    return std::to_string(*others) + (state.dialect == DIRMON_OPS_ENTRY ? " operations" : " binds") +
           " completed by the server (less the monitor's own " + std::to_string(state.ownBindsOverRun()) + ")";
}

}  // namespace tarrow::monitor
