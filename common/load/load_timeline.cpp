#include "common/load/load_timeline.h"

#include <algorithm>
#include <cstdio>

namespace tarrow::load {

std::int64_t LoginTimes::ownLagUs() const {
    return std::max<std::int64_t>(0, startUs - std::max(dueUs, freeUs));
}

SecondCounts& LoadTimeline::at(std::int64_t us) {
    // A time before the start (a clock read a little early) counts in second 0.
    const auto second = static_cast<std::size_t>(std::max<std::int64_t>(0, (us - startUs_) / 1'000'000));
    if (second >= seconds_.size()) seconds_.resize(second + 1);
    return seconds_[second];
}

void LoadTimeline::add(const LoginTimes& t) {
    ++at(t.dueUs).due;
    SecondCounts& started = at(t.startUs);
    ++started.started;
    started.ownLagSumUs += t.ownLagUs();
    ++at(t.endUs).ended;
    latency_.record(t.latencyUs());
    service_.record(t.serviceUs());
    scheduleLag_.record(t.scheduleLagUs());
}

RateHeld LoadTimeline::rateHeld(const LoadSchedule& schedule, std::int64_t dueUntilUs) const {
    RateHeld held;
    for (std::size_t s = 0; s < seconds_.size(); ++s) {
        const std::int64_t from = startUs_ + static_cast<std::int64_t>(s) * 1'000'000;
        const double target = schedule.targetRateAt(from);
        if (from + 1'000'000 > dueUntilUs) break;
        if (target <= 0 || schedule.targetRateAt(from + 999'999) != target) continue;
        const double pct = (static_cast<double>(seconds_[s].started) - target) * 100.0 / target;
        held.lowestPct = std::min(held.lowestPct, pct);
        held.highestPct = std::max(held.highestPct, pct);
        ++held.fullSeconds;
    }
    return held;
}

std::string figuresText(const LoadTimeline& timeline) {
    std::string text;
    for (auto [name, h] : {std::pair{"latency", &timeline.latency()}, std::pair{"service", &timeline.service()},
                           std::pair{"schedule lag", &timeline.scheduleLag()}}) {
        char part[96];
        std::snprintf(part, sizeof part, "%s%s p50 %.3f ms p99 %.3f ms", text.empty() ? "" : "; ", name,
                      static_cast<double>(h->percentile(0.5)) / 1000.0,
                      static_cast<double>(h->percentile(0.99)) / 1000.0);
        text += part;
    }
    return text;
}

std::string RateHeld::text() const {
    if (fullSeconds == 0) return "no full second at a target rate";
    char buffer[160];
    std::snprintf(buffer, sizeof buffer,
                  "logins started per full second: %+.1f %% to %+.1f %% of the target (%d s)", lowestPct,
                  highestPct, fullSeconds);
    return buffer;
}

std::vector<std::int64_t> LoadTimeline::behindSeconds() const {
    std::vector<std::int64_t> out;
    for (std::size_t s = 0; s < seconds_.size(); ++s) {
        if (seconds_[s].ownLagMeanUs() > kBehindOwnLagUs) out.push_back(static_cast<std::int64_t>(s));
    }
    return out;
}

std::string LoadTimeline::behindWarning() const {
    const auto behind = behindSeconds();
    if (behind.empty()) return {};
    std::int64_t worst = 0;
    for (std::int64_t s : behind)
        worst = std::max(worst, seconds_[static_cast<std::size_t>(s)].ownLagMeanUs());
    return "the load generator fell behind in " + std::to_string(behind.size()) +
           " second(s), first at second " + std::to_string(behind.front()) + ": logins started up to " +
           std::to_string(worst / 1000) +
           " ms (mean of a second) after a worker was free for them; that lag is the client's, not the "
           "directory's";
}

}  // namespace tarrow::load
