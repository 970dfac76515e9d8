// The "load" section of a paced run's report.json: how the load was set, how closely the rate
// was held, whether the load generator fell behind, and each second's logins due, started and
// ended against the target (docs/report.md).
#pragma once

#include "common/load/load_schedule.h"
#include "common/load/load_timeline.h"

#include <nlohmann/json.hpp>
#include <optional>

namespace tarrow::load {

// schedule: the run's, for the target of each second; held: for an open loop.
nlohmann::ordered_json loadJson(const LoadPlan& plan, const LoadTimeline& timeline,
                                const LoadSchedule& schedule, const std::optional<RateHeld>& held);

}  // namespace tarrow::load
