#include "common/capacity/capacity_json.h"

#include "common/capacity/capacity_text.h"

namespace tarrow::capacity {
namespace {

using Json = nlohmann::ordered_json;

Json optionalRate(const std::optional<double>& r) { return r ? Json(*r) : Json(); }

Json stepJson(const StepRecord& st) {
    return {{"offered_per_s", st.offeredPerSecond},
            {"due", st.due},
            {"started", st.started},
            {"ended", st.ended},
            {"duration_s", static_cast<double>(st.durationUs) / 1e6},
            {"throughput_per_s", st.throughputPerSecond()},
            {"counted", st.counted},
            {"errors", st.failed},
            {"over_bound", st.over},
            {"percentile_us", st.counted ? Json(st.percentile.valueUs) : Json()},
            {"percentile_low_us", st.counted ? Json(st.percentile.lowUs) : Json()},
            {"percentile_high_us", st.counted ? Json(st.percentile.highUs) : Json()},
            {"p50_us", st.counted ? Json(st.p50Us) : Json()},
            {"service_p50_us", st.serviceP50Us},
            {"service_percentile_us", st.servicePctUs},
            {"schedule_lag_percentile_us", st.scheduleLagPctUs},
            {"own_lag_us", st.ownLagMeanUs},
            {"workers", st.workers},
            {"verdict", verdictName(st.verdict)},
            {"generator_limit", st.generatorLimit.empty() ? Json() : Json(st.generatorLimit)}};
}

const char* outcomeName(Outcome o) {
    switch (o) {
    case Outcome::Found: return "found";
    case Outcome::AtLeast: return "at_least";
    case Outcome::None: return "none";
    case Outcome::Interrupted: break;
    }
    return "interrupted";
}

}  // namespace

nlohmann::ordered_json capacityJson(const SearchResult& r, const SearchSettings& s) {
    Json steps = Json::array();
    for (const auto& st : r.steps) steps.push_back(stepJson(st));
    return {{"objective", s.objective.text()},
            {"percentile", s.objective.percentile},
            {"bound_us", s.objective.boundUs},
            {"errors_pct", s.objective.errorsPct ? Json(*s.objective.errorsPct) : Json()},
            {"confidence", s.confidence},
            {"precision_pct", s.precisionPct},
            {"from_per_s", s.fromPerSecond},
            {"max_time_s", static_cast<double>(s.maxTimeUs) / 1e6},
            {"outcome", outcomeName(r.outcome)},
            {"capacity_per_s", optionalRate(r.highestMet)},
            {"lowest_failed_per_s", optionalRate(r.lowestFailed)},
            {"knee_per_s", optionalRate(r.knee)},
            {"reason", r.reason.empty() ? Json() : Json(r.reason)},
            {"result", resultLine(r, s)},
            {"precision_reached", r.precisionReached},
            {"time_ran_out", r.timeRanOut},
            {"elapsed_s", static_cast<double>(r.elapsedUs) / 1e6},
            {"warm_up", r.warmUp ? Json{{"offered_per_s", r.warmUp->offeredPerSecond},
                                        {"ended", r.warmUp->ended},
                                        {"duration_s", static_cast<double>(r.warmUp->durationUs) / 1e6}}
                                 : Json()},
            {"steps", steps}};
}

}  // namespace tarrow::capacity
