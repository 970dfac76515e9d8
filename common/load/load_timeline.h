// What a paced run did second by second: logins due, started and ended, and the lag the load
// generator added by itself. That lag (own lag) is the part of a login's schedule lag that no
// busy worker explains: from when the login was due or its worker was free, whichever was
// later, to its start. A directory that slows down keeps workers busy, so logins wait for a
// worker; a generator that cannot keep up (starved of processor time, oversleeping) starts
// logins late although a worker was free. Only the second is the generator falling behind.
#pragma once

#include "common/latency_histogram.h"
#include "common/load/load_schedule.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarrow::load {

// One login's times on the run's clock, in microseconds.
struct LoginTimes {
    std::int64_t dueUs = 0;
    std::int64_t freeUs = 0;  // its worker free
    std::int64_t startUs = 0;
    std::int64_t endUs = 0;
    std::int64_t latencyUs() const { return endUs - dueUs; }
    std::int64_t serviceUs() const { return endUs - startUs; }
    std::int64_t scheduleLagUs() const { return startUs - dueUs; }
    std::int64_t ownLagUs() const;
};

struct SecondCounts {
    std::uint64_t due = 0;
    std::uint64_t started = 0;
    std::uint64_t ended = 0;
    std::int64_t ownLagSumUs = 0;  // over the logins started in this second
    std::int64_t ownLagMeanUs() const {
        return started ? ownLagSumUs / static_cast<std::int64_t>(started) : 0;
    }
};

// How closely the target rate was held: logins started in each full second of a step (one
// whose target is the same from its first to its last microsecond) against that target.
struct RateHeld {
    int fullSeconds = 0;
    double lowestPct = 0;   // the largest shortfall, in percent of the target (0 or less)
    double highestPct = 0;  // the largest excess (0 or more)
    std::string text() const;
};

class LoadTimeline {
public:
    // A second in which the generator's own lag averaged more than this fell behind.
    static constexpr std::int64_t kBehindOwnLagUs = 2000;

    explicit LoadTimeline(std::int64_t runStartUs) : startUs_(runStartUs) {}

    // Counts one login in the seconds of its due time, start and end. Memory grows with the
    // seconds of the run, not with its logins.
    void add(const LoginTimes& t);

    std::int64_t startUs() const { return startUs_; }
    // Second n covers [n, n+1) s from the start of the run.
    const std::vector<SecondCounts>& seconds() const { return seconds_; }

    // Over the whole run.
    const LatencyHistogram& latency() const { return latency_; }
    const LatencyHistogram& service() const { return service_; }
    const LatencyHistogram& scheduleLag() const { return scheduleLag_; }

    // Full seconds count up to dueUntilUs, when the run stopped taking logins (the end of the
    // curve or of the duration, or just after the last login of a users file that ended).
    RateHeld rateHeld(const LoadSchedule& schedule, std::int64_t dueUntilUs) const;

    // The seconds in which the generator fell behind, in order.
    std::vector<std::int64_t> behindSeconds() const;

    // The warning for those seconds ("the load generator fell behind ..."), or empty.
    std::string behindWarning() const;

private:
    SecondCounts& at(std::int64_t us);

    std::int64_t startUs_;
    std::vector<SecondCounts> seconds_;
    LatencyHistogram latency_;
    LatencyHistogram service_;
    LatencyHistogram scheduleLag_;
};

// "latency p50 1.204 ms p99 3.100 ms; service ...; schedule lag ..." over the whole run.
std::string figuresText(const LoadTimeline& timeline);

}  // namespace tarrow::load
