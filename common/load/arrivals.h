// When the logins of an open-loop run are due: evenly spaced, or with exponential gaps
// (a Poisson process) from a fixed seed, step by step along a load curve.
#pragma once

#include "common/load/rate_curve.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tarrow::load {

enum class ArrivalKind { Even, Poisson };

class Arrivals {
public:
    // steps: at least one; seed: used by Poisson arrivals only.
    Arrivals(std::vector<RateStep> steps, ArrivalKind kind, std::uint64_t seed);

    // The due time of the next login in microseconds from the start of the run, or nothing
    // once the curve has ended. Due times never go back.
    std::optional<std::int64_t> next();

    // The target rate at a moment of the run (0 after the curve).
    double rateAt(std::int64_t us) const;
    // The end of the curve in microseconds from the start.
    std::int64_t endUs() const { return stepEndUs_.empty() ? 0 : stepEndUs_.back(); }

private:
    double uniform();  // in (0, 1], from the seeded generator

    std::vector<RateStep> steps_;
    std::vector<std::int64_t> stepEndUs_;  // each step's end from the start of the run
    ArrivalKind kind_;
    std::uint64_t state_;  // splitmix64: the same figures on every platform
    std::size_t step_ = 0;
    std::int64_t inStep_ = 0;  // Even: logins already due in the current step
    double poissonUs_ = 0;     // Poisson: the last due time, unrounded
};

}  // namespace tarrow::load
