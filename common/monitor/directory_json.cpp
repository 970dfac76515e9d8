#include "common/monitor/directory_json.h"

#include "common/monitor/directory_series.h"

namespace tarrow::monitor {
namespace {

nlohmann::ordered_json gauge(std::int64_t value) {
    return value < 0 ? nlohmann::ordered_json() : nlohmann::ordered_json(value);
}

}  // namespace

nlohmann::ordered_json directoryJson(const MonitorState& state, std::size_t seconds) {
    using nlohmann::ordered_json;
    ordered_json d;
    d["uri"] = state.uri;
    if (state.readings.empty()) {
        d["source"] = "unavailable";
        d["reason"] = state.unavailable;
        return d;
    }
    d["source"] = dialectText(state.dialect);
    d["counts"] = state.dialect == DIRMON_OPS_ENTRY ? "operations" : "binds";
    ordered_json intervals = ordered_json::array();
    for (const DirectoryInterval& i : directoryIntervals(state, seconds)) {
        intervals.push_back({{"t_s", i.second},
                             {"completed", i.completed ? ordered_json(*i.completed) : ordered_json()},
                             {"connections", gauge(i.connections)},
                             {"read_waiters", gauge(i.readWaiters)},
                             {"write_waiters", gauge(i.writeWaiters)},
                             {"threads", gauge(i.threads)}});
    }
    d["intervals"] = std::move(intervals);
    const auto completed = state.completedByOthers();
    d["totals"] = {{"completed", completed ? ordered_json(*completed) : ordered_json()},
                   {"monitor_binds", state.ownBindsOverRun()},
                   {"readings", state.readings.size()},
                   {"failed_readings", state.failedReadings}};
    return d;
}

}  // namespace tarrow::monitor
