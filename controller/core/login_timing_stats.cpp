#include "controller/core/login_timing_stats.h"

#include <algorithm>

namespace tarrow::ctrl {

const char* timingsSupportText(TimingsSupport support) {
    switch (support) {
    case TimingsSupport::NotAsked: return "not asked";
    case TimingsSupport::Asked: return "no";
    case TimingsSupport::Reporting: return "yes";
    }
    return "?";
}

void LoginTimingStats::add(const timings::LoginTimings& t) {
    ++timedReplies;
    if (t.executeUs >= 0) {
        latencies.record(t.executeUs, t.phases);
    } else {
        for (int p = 0; p < kLoginPhaseCount; ++p)
            if (t.phases.has(p))
                latencies.phases[static_cast<std::size_t>(p)].record(t.phases.us[static_cast<std::size_t>(p)]);
    }
    if (t.lagUs >= 0) lagUs.record(t.lagUs);
}

void ClientTimingStats::add(const timings::LoginTimings& t) {
    if (t.executeUs >= 0) executeUs.record(t.executeUs);
    if (t.lagUs < 0) return;
    ++lagCount;
    lagSumUs += t.lagUs;
    lagMaxUs = std::max(lagMaxUs, t.lagUs);
}

}  // namespace tarrow::ctrl
