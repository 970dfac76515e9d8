// Finds the outages of a run in its replies, taken in the order they complete: an outage is
// a run of at least minFailuresInRow replies that are not successes (failed or error) with
// no success between them. It begins at its first failure and ends at the next success; the
// login latency of the first seconds after that (the recovery window) says whether the
// directory came back slow. Leases that end without a reply neither break nor extend a run.
#pragma once

#include "common/latency_histogram.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow::ctrl {

struct Outage {
    std::int64_t firstFailureUs = 0;      // since the run's start
    std::int64_t firstFailureWallMs = 0;  // the same moment, ms since 1970 UTC
    std::string firstMessage;             // error text of the first failure (empty for a code)
    std::int32_t firstCode = 0;           // its code; 0 for an error text
    std::uint64_t failedInRow = 0;        // unsuccessful replies in the run
    std::int64_t recoveredUs = -1;        // first success after it, since the start; -1: none
    std::int64_t recoveredWallMs = -1;
    std::uint64_t recoveryLogins = 0;   // replies in the recovery window (the success included)
    std::uint64_t recoveryTimed = 0;    // ... of them with timings
    std::int64_t recoveryP99Us = -1;    // login latency p99 of those; -1 without any
    std::int64_t recoveryWindowUs = 0;  // how long the window ran (shorter if cut by an outage)
};

class OutageTracker {
public:
    static constexpr std::size_t kMaxOutagesListed = 100;
    static constexpr std::size_t kMaxMessageBytes = 200;

    OutageTracker(std::uint64_t minFailuresInRow, std::int64_t recoveryWindowUs)
        : minFailures_(minFailuresInRow ? minFailuresInRow : 1), windowUs_(recoveryWindowUs) {}

    // atUs since the start, never going back; loginUs -1 for a reply without timings.
    void reply(std::int64_t atUs, std::int64_t wallMs, bool success, std::int32_t code,
               std::string_view message, std::int64_t loginUs);
    // Closes a recovery window still open at the end of the run.
    void finish(std::int64_t endUs);

    const std::vector<Outage>& outages() const { return outages_; }
    std::uint64_t outagesOmitted() const { return omitted_; }

private:
    void closeWindow(std::int64_t endUs);

    std::uint64_t minFailures_;
    std::int64_t windowUs_;
    std::vector<Outage> outages_;
    std::uint64_t omitted_ = 0;
    // The run of failures in progress.
    Outage run_;
    bool inOutage_ = false;  // the run has reached minFailures_
    // The recovery window of the last listed outage, while it is open.
    bool windowOpen_ = false;
    tarrow::LatencyHistogram window_;
};

}  // namespace tarrow::ctrl
