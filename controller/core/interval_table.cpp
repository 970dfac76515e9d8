#include "controller/core/interval_table.h"

namespace tarrow::ctrl {

void IntervalTable::close() {
    current_.clients = connected_;
    if (current_.timed) {
        current_.p50Us = currentLogins_.percentile(0.50);
        current_.p90Us = currentLogins_.percentile(0.90);
        current_.p99Us = currentLogins_.percentile(0.99);
        current_.maxUs = currentLogins_.max();
        currentLogins_.clear();
    }
    if (rows_.size() < kMaxSeconds) rows_.push_back(current_);
    else
        ++omitted_;
    current_ = IntervalRow{};
    ++currentSecond_;
}

// The row of the second that atUs falls in, after closing the seconds before it.
IntervalRow& IntervalTable::at(std::int64_t atUs) {
    const auto second = static_cast<std::size_t>(atUs < 0 ? 0 : atUs / 1'000'000);
    // Past the cap, closing a second only counts it: jump instead of walking a long gap.
    if (second > currentSecond_ && rows_.size() >= kMaxSeconds) {
        omitted_ += second - currentSecond_;
        current_ = IntervalRow{};
        currentLogins_.clear();
        currentSecond_ = second;
    }
    while (currentSecond_ < second) close();
    return current_;
}

void IntervalTable::reply(std::int64_t atUs, ReplyKind kind, std::int64_t loginUs) {
    IntervalRow& row = at(atUs);
    ++row.logins;
    switch (kind) {
    case ReplyKind::Success: ++row.successful; break;
    case ReplyKind::Failed: ++row.failed; break;
    case ReplyKind::Error: ++row.errors; break;
    }
    if (loginUs < 0) return;
    ++row.timed;
    currentLogins_.record(loginUs);
}

void IntervalTable::indeterminate(std::int64_t atUs) { ++at(atUs).indeterminate; }

void IntervalTable::clients(std::int64_t atUs, std::size_t connected) {
    at(atUs);
    connected_ = static_cast<std::uint32_t>(connected);
}

void IntervalTable::finish(std::int64_t endUs) {
    if (finished_) return;
    finished_ = true;
    at(endUs);
    close();
}

}  // namespace tarrow::ctrl
