#include "common/run_report.h"

#include <algorithm>

namespace tarrow {

const char* loginOutcomeText(LoginOutcome outcome) {
    switch (outcome) {
    case LoginOutcome::Success: return "success";
    case LoginOutcome::Failed: return "failed";
    case LoginOutcome::Error: return "error";
    }
    return "?";
}

void LoginLatencies::record(std::int64_t executeUs, const PhaseTimings& timings) {
    execute.record(executeUs);
    for (int p = 0; p < kLoginPhaseCount; ++p)
        if (timings.has(p))
            phases[static_cast<std::size_t>(p)].record(timings.us[static_cast<std::size_t>(p)]);
}

void LoginLatencies::merge(const LoginLatencies& other) {
    execute.merge(other.execute);
    for (std::size_t p = 0; p < phases.size(); ++p) phases[p].merge(other.phases[p]);
}

void IntervalSeries::closeUpTo(std::int64_t second) {
    while (current_.second < second) {
        current_.p50Us = currentLatency_.percentile(0.50);
        current_.p90Us = currentLatency_.percentile(0.90);
        current_.p99Us = currentLatency_.percentile(0.99);
        current_.maxUs = currentLatency_.max();
        done_.push_back(current_);
        const std::int64_t next = current_.second + 1;
        current_ = IntervalSummary{};
        current_.second = next;
        currentLatency_.clear();
    }
}

void IntervalSeries::record(std::int64_t endUs, LoginOutcome outcome, std::int64_t latencyUs) {
    const std::int64_t second = endUs > startUs_ ? (endUs - startUs_) / 1'000'000 : 0;
    // A login is never counted in a second already closed: the clock does not go back.
    closeUpTo(std::max(second, current_.second));
    ++current_.logins;
    switch (outcome) {
    case LoginOutcome::Success: ++current_.successful; break;
    case LoginOutcome::Failed: ++current_.failed; break;
    case LoginOutcome::Error: ++current_.errors; break;
    }
    currentLatency_.record(latencyUs);
}

void IntervalSeries::finish(std::int64_t endUs) {
    // A run of exactly 2 s has the seconds 0 and 1.
    const std::int64_t last = endUs > startUs_ ? (endUs - startUs_ - 1) / 1'000'000 : 0;
    closeUpTo(std::max(last, current_.second) + 1);
}

void MessageCounts::add(std::string_view text) {
    if (auto it = counts_.find(text); it != counts_.end()) {
        ++it->second;
        return;
    }
    if (counts_.size() + 1 >= kMaxTexts) {
        ++counts_[std::string(kOtherTexts)];
        return;
    }
    counts_.emplace(std::string(text), 1);
}

}  // namespace tarrow
