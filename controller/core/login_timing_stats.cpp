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
    if (t.executeUs >= 0) executeUs.add(t.executeUs);
    for (std::size_t p = 0; p < timings::kPhaseCount; ++p)
        if (t.phaseUs[p] >= 0) phaseUs[p].add(t.phaseUs[p]);
    if (t.lagUs >= 0) lagUs.add(t.lagUs);
}

void ClientTimingStats::add(const timings::LoginTimings& t) {
    if (t.executeUs >= 0) executeUs.add(t.executeUs);
    if (t.lagUs < 0) return;
    ++lagCount;
    lagSumUs += t.lagUs;
    lagMaxUs = std::max(lagMaxUs, t.lagUs);
}

}  // namespace tarrow::ctrl
