#include "common/capacity/capacity_options.h"

#include "common/load/rate_curve.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace tarrow::capacity {

bool CapacityTexts::isCapacityOption(const std::string& name) {
    return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

std::string settingWithoutObjective(const CapacityTexts& t) {
    for (auto [text, name] : {std::pair{&t.from, "--from"}, std::pair{&t.precision, "--precision"},
                              std::pair{&t.confidence, "--confidence"}, std::pair{&t.maxTime, "--max-time"}}) {
        if (!text->empty() && t.objective.empty()) return std::string(name) + " needs --find-capacity";
    }
    return {};
}

std::variant<SearchSettings, std::string> capacitySettings(const CapacityTexts& t) {
    if (std::string error = settingWithoutObjective(t); !error.empty()) return error;
    const ObjectiveParse objective = parseObjective(t.objective);
    if (!objective.objective) return "--find-capacity: " + objective.error;
    SearchSettings s;
    s.objective = *objective.objective;
    if (!t.from.empty()) {
        const auto rate = load::parseRate(t.from);
        if (!rate)
            return "--from needs a number of logins per second above 0, at most " +
                   std::to_string(static_cast<int>(load::kMaxRate));
        s.fromPerSecond = *rate;
    }
    // Numbers above 0; their ranges are the search's own (settingsError).
    for (auto [text, value, name] : {std::tuple{&t.precision, &s.precisionPct, "--precision"},
                                     std::tuple{&t.confidence, &s.confidence, "--confidence"}}) {
        if (text->empty()) continue;
        const auto number = load::parseRate(*text);
        if (!number) return std::string(name) + " needs a number above 0";
        *value = *number;
    }
    if (!t.maxTime.empty()) {
        const auto seconds = load::parseRate(t.maxTime);
        if (!seconds) return std::string("--max-time needs a number of seconds above 0");
        s.maxTimeUs = static_cast<std::int64_t>(*seconds * 1e6);
    }
    if (const std::string error = settingsError(s); !error.empty()) {
        // The search's own texts name its settings; the command line names its options.
        if (error.rfind("the precision", 0) == 0) return "--precision: " + error;
        if (error.rfind("the confidence", 0) == 0) return "--confidence: " + error;
        if (error.rfind("the first rate", 0) == 0) return "--from: " + error;
        return "--max-time: " + error;
    }
    return s;
}

}  // namespace tarrow::capacity
