#include "common/monitor/directory_series.h"

#include <algorithm>

namespace tarrow::monitor {

std::vector<DirectoryInterval> directoryIntervals(const MonitorState& state, std::size_t seconds) {
    const auto& r = state.readings;
    const auto at = [&r](std::int64_t tick) -> const MonitorReading* {
        const auto it = std::lower_bound(r.begin(), r.end(), tick,
                                         [](const MonitorReading& m, std::int64_t t) { return m.tick < t; });
        return it != r.end() && it->tick == tick ? &*it : nullptr;
    };
    std::vector<DirectoryInterval> out(seconds);
    for (std::size_t k = 0; k < seconds; ++k) {
        DirectoryInterval& d = out[k];
        d.second = static_cast<std::int64_t>(k);
        const MonitorReading* begin = at(d.second);
        const MonitorReading* end = at(d.second + 1);
        if (!end) continue;
        d.connections = end->sample.connections;
        d.readWaiters = end->sample.read_waiters;
        d.writeWaiters = end->sample.write_waiters;
        d.threads = end->sample.threads;
        if (begin && begin->sample.completed >= 0 && end->sample.completed >= 0)
            d.completed = end->sample.completed - begin->sample.completed -
                          static_cast<std::int64_t>(end->ownBinds - begin->ownBinds);
    }
    return out;
}

}  // namespace tarrow::monitor
