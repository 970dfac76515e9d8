#include "common/load/arrivals.h"

#include <cmath>

namespace tarrow::load {

Arrivals::Arrivals(std::vector<RateStep> steps, ArrivalKind kind, std::uint64_t seed)
    : steps_(std::move(steps)), kind_(kind), state_(seed) {
    double endUs = 0;
    for (const RateStep& s : steps_) {
        endUs += s.seconds * 1e6;
        stepEndUs_.push_back(std::llround(endUs));
    }
}

double Arrivals::uniform() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return (static_cast<double>(z >> 11) + 1.0) * 0x1.0p-53;
}

std::optional<std::int64_t> Arrivals::next() {
    while (step_ < steps_.size()) {
        const double rate = steps_[step_].perSecond;
        const double stepStartUs = step_ == 0 ? 0.0 : static_cast<double>(stepEndUs_[step_ - 1]);
        const auto stepEnd = static_cast<double>(stepEndUs_[step_]);
        if (rate > 0 && kind_ == ArrivalKind::Even) {
            // The k-th login of a step is due k/rate seconds into it, so no rounding adds up.
            const double due = stepStartUs + static_cast<double>(inStep_) * 1e6 / rate;
            if (due < stepEnd) {
                ++inStep_;
                return std::llround(due);
            }
        } else if (rate > 0) {
            // Exponential gaps are memoryless: a gap that crosses the step's end starts over
            // at the end with the next step's rate.
            const double from = poissonUs_ < stepStartUs ? stepStartUs : poissonUs_;
            const double due = from - std::log(uniform()) * 1e6 / rate;
            if (due < stepEnd) {
                poissonUs_ = due;
                return std::llround(due);
            }
        }
        ++step_;
        inStep_ = 0;
        poissonUs_ = stepEnd;
    }
    return std::nullopt;
}

double Arrivals::rateAt(std::int64_t us) const {
    for (std::size_t i = 0; i < steps_.size(); ++i) {
        if (us < stepEndUs_[i]) return steps_[i].perSecond;
    }
    return 0;
}

}  // namespace tarrow::load
