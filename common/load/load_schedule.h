// Which login comes next and when it is due. Open loop (a curve): due times follow the curve
// whatever the directory does. Closed loop (no curve): a login is due the moment a worker is
// free for it. The next free worker takes the next login, so a login that is due while every
// worker is busy waits for one, and that wait is part of its latency.
#pragma once

#include "common/load/arrivals.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarrow::load {

// How a run's load is set.
struct LoadPlan {
    int workers = 1;
    std::vector<RateStep> curve;  // empty: closed loop
    ArrivalKind arrivals = ArrivalKind::Even;
    std::uint64_t seed = kDefaultSeed;
    std::optional<std::int64_t> durationUs;  // none: the run ends with its users file (or curve)

    static constexpr std::uint64_t kDefaultSeed = 1;
    bool openLoop() const { return !curve.empty(); }
};

// How the load is set, for standard error and the report: "open loop, 200/s, even arrivals,
// 10 workers" or "closed loop, 4 workers, 10 s".
std::string planText(const LoadPlan& plan);

// The workers an open loop gets when none are asked for: enough for logins of up to
// kDefaultLoginBudgetMs at the curve's highest rate, at least 1, at most kMaxDefaultWorkers.
inline constexpr int kDefaultLoginBudgetMs = 50;
inline constexpr int kMaxDefaultWorkers = 64;
int defaultWorkers(const std::vector<RateStep>& curve);

// One login's place in the run, on the run's clock in microseconds.
struct Slot {
    std::uint64_t index = 0;  // 0, 1, 2 ... in the order the logins are due
    std::int64_t dueUs = 0;
    std::int64_t freeUs = 0;  // when the worker that takes it was free
    // When it may start: at its due time, or when its worker was free, whichever is later.
    std::int64_t earliestStartUs() const { return dueUs > freeUs ? dueUs : freeUs; }
};

class LoadSchedule {
public:
    LoadSchedule(const LoadPlan& plan, std::int64_t runStartUs);

    // The next login for a worker that is free since freeUs, or nothing once the run is over
    // (the curve ended, or the next login would be due after the duration).
    std::optional<Slot> take(std::int64_t freeUs);

    // When the schedule ends on the run's clock: the end of the duration or of the curve,
    // whichever comes first; nothing for a closed loop without a duration.
    std::optional<std::int64_t> endUs() const;

    // The target rate at a moment of the run's clock; 0 for a closed loop.
    double targetRateAt(std::int64_t us) const;

private:
    std::int64_t startUs_;
    std::optional<std::int64_t> endUs_;
    std::optional<Arrivals> arrivals_;
    std::uint64_t taken_ = 0;
};

}  // namespace tarrow::load
