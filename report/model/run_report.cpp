#include "report/model/run_report.h"

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

void IntervalSeries::close() {
    current_.clients = connected_;
    if (current_.timed) {
        current_.p50Us = currentLatency_.percentile(0.50);
        current_.p90Us = currentLatency_.percentile(0.90);
        current_.p99Us = currentLatency_.percentile(0.99);
        current_.maxUs = currentLatency_.max();
        currentLatency_.clear();
    }
    const std::int64_t next = current_.second + 1;
    if (done_.size() < kMaxSeconds) done_.push_back(current_);
    else
        ++omitted_;
    current_ = IntervalSummary{};
    current_.second = next;
}

IntervalSummary& IntervalSeries::at(std::int64_t atUs) {
    const std::int64_t second = atUs < 0 ? 0 : atUs / 1'000'000;
    // Past the cap, closing a second only counts it: jump instead of walking a long gap.
    if (second > current_.second && done_.size() >= kMaxSeconds) {
        omitted_ += static_cast<std::uint64_t>(second - current_.second);
        current_ = IntervalSummary{};
        current_.second = second;
        currentLatency_.clear();
    }
    while (current_.second < second) close();
    return current_;
}

void IntervalSeries::record(std::int64_t atUs, LoginOutcome outcome, std::int64_t latencyUs) {
    IntervalSummary& s = at(atUs);
    ++s.logins;
    switch (outcome) {
    case LoginOutcome::Success: ++s.successful; break;
    case LoginOutcome::Failed: ++s.failed; break;
    case LoginOutcome::Error: ++s.errors; break;
    }
    if (latencyUs < 0) return;
    ++s.timed;
    currentLatency_.record(latencyUs);
}

void IntervalSeries::indeterminate(std::int64_t atUs) { ++at(atUs).indeterminate; }

void IntervalSeries::clients(std::int64_t atUs, std::uint64_t connected) {
    at(atUs);
    connected_ = connected;
}

void IntervalSeries::finish(std::int64_t endUs) {
    if (finished_) return;
    finished_ = true;
    // The second that starts exactly at the end holds nothing of the run.
    at(endUs > 0 ? endUs - 1 : 0);
    close();
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
