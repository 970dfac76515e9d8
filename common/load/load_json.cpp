#include "common/load/load_json.h"

namespace tarrow::load {

nlohmann::ordered_json loadJson(const LoadPlan& plan, const LoadTimeline& timeline,
                                const LoadSchedule& schedule, const std::optional<RateHeld>& held) {
    nlohmann::ordered_json load;
    load["mode"] = plan.openLoop() ? "open" : "closed";
    load["workers"] = plan.workers;
    const bool oneRate = plan.curve.size() == 1 && plan.curve[0].seconds >= kMaxStepSeconds;
    load["rate"] = oneRate ? nlohmann::ordered_json(plan.curve[0].perSecond) : nlohmann::ordered_json();
    nlohmann::ordered_json curve = nlohmann::ordered_json::array();
    if (!oneRate) {
        for (const RateStep& s : plan.curve) curve.push_back({{"rate", s.perSecond}, {"seconds", s.seconds}});
    }
    load["curve"] = curve;
    load["arrivals"] = !plan.openLoop()                      ? nlohmann::ordered_json()
                     : plan.arrivals == ArrivalKind::Poisson ? nlohmann::ordered_json("poisson")
                                                             : nlohmann::ordered_json("even");
    load["seed"] = plan.openLoop() && plan.arrivals == ArrivalKind::Poisson ? nlohmann::ordered_json(plan.seed)
                                                                            : nlohmann::ordered_json();
    load["duration_s"] = plan.durationUs ? nlohmann::ordered_json(static_cast<double>(*plan.durationUs) / 1e6)
                                         : nlohmann::ordered_json();
    if (held) {
        load["rate_held"] = {{"full_seconds", held->fullSeconds},
                             {"lowest_pct", held->lowestPct},
                             {"highest_pct", held->highestPct}};
    } else {
        load["rate_held"] = nullptr;
    }
    const auto behind = timeline.behindSeconds();
    load["generator_fell_behind"] = behind.empty()
                                      ? nlohmann::ordered_json()
                                      : nlohmann::ordered_json{{"seconds", behind},
                                                               {"warning", timeline.behindWarning()}};
    nlohmann::ordered_json seconds = nlohmann::ordered_json::array();
    const auto& counts = timeline.seconds();
    for (std::size_t s = 0; s < counts.size(); ++s) {
        const double target = schedule.targetRateAt(timeline.startUs() +
                                                    static_cast<std::int64_t>(s) * 1'000'000);
        seconds.push_back(
            {{"t_s", s},
             {"due", counts[s].due},
             {"started", counts[s].started},
             {"ended", counts[s].ended},
             {"target_rate", plan.openLoop() ? nlohmann::ordered_json(target) : nlohmann::ordered_json()},
             {"own_lag_us", counts[s].ownLagMeanUs()},
             {"behind_schedule", counts[s].started < counts[s].due}});
    }
    load["seconds"] = seconds;
    return load;
}

}  // namespace tarrow::load
