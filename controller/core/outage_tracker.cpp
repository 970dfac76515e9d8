#include "controller/core/outage_tracker.h"

#include <algorithm>

namespace tarrow::ctrl {

void OutageTracker::closeWindow(std::int64_t endUs) {
    if (!windowOpen_) return;
    windowOpen_ = false;
    Outage& o = outages_.back();
    o.recoveryWindowUs = std::min(endUs, o.recoveredUs + windowUs_) - o.recoveredUs;
    if (o.recoveryTimed) o.recoveryP99Us = window_.percentile(0.99);
}

void OutageTracker::reply(std::int64_t atUs, std::int64_t wallMs, bool success, std::int32_t code,
                          std::string_view message, std::int64_t loginUs) {
    if (windowOpen_ && atUs >= outages_.back().recoveredUs + windowUs_) closeWindow(atUs);
    if (!success) {
        if (run_.failedInRow == 0) {
            run_ = Outage{};
            run_.firstFailureUs = atUs;
            run_.firstFailureWallMs = wallMs;
            run_.firstMessage = std::string(message.substr(0, kMaxMessageBytes));
            run_.firstCode = code;
        }
        ++run_.failedInRow;
        if (!inOutage_ && run_.failedInRow >= minFailures_) {
            inOutage_ = true;
            closeWindow(atUs);  // a new outage cuts the last one's recovery short
        }
    } else if (inOutage_) {
        run_.recoveredUs = atUs;
        run_.recoveredWallMs = wallMs;
        inOutage_ = false;
        if (outages_.size() < kMaxOutagesListed) {
            outages_.push_back(run_);
            windowOpen_ = true;
            window_.clear();
        } else {
            ++omitted_;
        }
        run_.failedInRow = 0;
    } else {
        run_.failedInRow = 0;
    }
    if (windowOpen_) {
        Outage& o = outages_.back();
        ++o.recoveryLogins;
        if (loginUs >= 0) {
            ++o.recoveryTimed;
            window_.record(loginUs);
        }
    }
}

void OutageTracker::finish(std::int64_t endUs) {
    closeWindow(endUs);
    // An outage still going on at the end is listed without a recovery.
    if (inOutage_) {
        inOutage_ = false;
        if (outages_.size() < kMaxOutagesListed) outages_.push_back(run_);
        else
            ++omitted_;
        run_.failedInRow = 0;
    }
}

}  // namespace tarrow::ctrl
