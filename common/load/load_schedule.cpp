#include "common/load/load_schedule.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tarrow::load {

int defaultWorkers(const std::vector<RateStep>& curve) {
    double peak = 0;
    for (const RateStep& s : curve) peak = std::max(peak, s.perSecond);
    const double wanted = std::ceil(peak * kDefaultLoginBudgetMs / 1000.0);
    return static_cast<int>(std::clamp(wanted, 1.0, static_cast<double>(kMaxDefaultWorkers)));
}

std::string planText(const LoadPlan& plan) {
    std::string text = plan.openLoop() ? "open loop, " : "closed loop, ";
    if (plan.openLoop()) {
        const bool oneRate = plan.curve.size() == 1 && plan.curve[0].seconds >= kMaxStepSeconds;
        text += oneRate ? curveText(plan.curve).substr(0, curveText(plan.curve).find(" for "))
                        : curveText(plan.curve);
        text += plan.arrivals == ArrivalKind::Poisson
                  ? ", poisson arrivals (seed " + std::to_string(plan.seed) + ")"
                  : ", even arrivals";
        text += ", ";
    }
    text += std::to_string(plan.workers) + (plan.workers == 1 ? " worker" : " workers");
    if (plan.durationUs) {
        char seconds[40];
        std::snprintf(seconds, sizeof seconds, ", %g s", static_cast<double>(*plan.durationUs) / 1e6);
        text += seconds;
    }
    return text;
}

LoadSchedule::LoadSchedule(const LoadPlan& plan, std::int64_t runStartUs) : startUs_(runStartUs) {
    if (plan.durationUs) endUs_ = runStartUs + *plan.durationUs;
    if (plan.openLoop()) arrivals_.emplace(plan.curve, plan.arrivals, plan.seed);
}

std::optional<Slot> LoadSchedule::take(std::int64_t freeUs) {
    std::int64_t dueUs = freeUs;
    if (arrivals_) {
        const auto due = arrivals_->next();
        if (!due) return std::nullopt;
        dueUs = startUs_ + *due;
    }
    if (endUs_ && dueUs >= *endUs_) return std::nullopt;
    return Slot{taken_++, dueUs, freeUs};
}

std::optional<std::int64_t> LoadSchedule::endUs() const {
    std::optional<std::int64_t> end = endUs_;
    if (arrivals_) {
        const std::int64_t curveEnd = startUs_ + arrivals_->endUs();
        end = end ? std::min(*end, curveEnd) : curveEnd;
    }
    return end;
}

double LoadSchedule::targetRateAt(std::int64_t us) const {
    return arrivals_ ? arrivals_->rateAt(us - startUs_) : 0;
}

}  // namespace tarrow::load
