#include "common/capacity/capacity_text.h"

#include "common/capacity/capacity_search.h"

#include <cmath>
#include <cstdio>

namespace tarrow::capacity {

std::string figure(double value) {
    char text[32];
    std::snprintf(text, sizeof text, std::fabs(value) >= 1e6 ? "%.0f" : "%.6g", value);
    return text;
}

std::string durationText(std::int64_t us) {
    if (us < 1000) return figure(static_cast<double>(us)) + " us";
    if (us % 1'000'000 == 0) return figure(static_cast<double>(us) / 1e6) + " s";
    if (us >= 1'000'000) return figure(std::round(static_cast<double>(us) / 1e4) / 100) + " s";
    return figure(static_cast<double>(us) / 1000) + " ms";
}

std::string rateText(double perSecond, RateRounding rounding) {
    const double scale = perSecond >= 100 ? 1 : 100;
    const double scaled = perSecond * scale;
    // A hair of tolerance: 10 * 3 / 3 stays 10 either way.
    const double whole = rounding == RateRounding::Down ? std::floor(scaled + 1e-9) : std::ceil(scaled - 1e-9);
    return figure(whole / scale);
}

std::string confidenceText(double confidence) { return figure(confidence * 100) + " %"; }

std::string resultLine(const SearchResult& r, const SearchSettings& s) {
    const std::string held = " with " + s.objective.text() + " at " + confidenceText(s.confidence) +
                             " confidence";
    switch (r.outcome) {
    case Outcome::Found:
        return "Capacity: " + rateText(*r.highestMet, RateRounding::Down) + " logins/s (" +
               rateText(*r.highestMet, RateRounding::Down) + ".." +
               rateText(*r.lowestFailed, RateRounding::Up) + ")" + held;
    case Outcome::AtLeast:
        return "Capacity: at least " + rateText(*r.highestMet, RateRounding::Down) + " logins/s" + held +
               ": " + r.reason;
    case Outcome::None:
    case Outcome::Interrupted: break;
    }
    return "Capacity: none: " + r.reason;
}

std::string searchStartText(const SearchSettings& s) {
    return "finding the highest rate with " + s.objective.text() + " at " + confidenceText(s.confidence) +
           " confidence, from " + rateText(s.fromPerSecond, RateRounding::Down) + " logins/s to " +
           figure(s.precisionPct) + " %, within " + durationText(s.maxTimeUs);
}

std::string stepText(const StepRecord& st, const Objective& objective) {
    std::string t = rateText(st.offeredPerSecond, RateRounding::Down) +
                    " logins/s: " + verdictName(st.verdict) + " (" + objective.percentileName() + " ";
    t += st.counted ? durationText(st.percentile.valueUs) + " [" + durationText(st.percentile.lowUs) + ".." +
                          durationText(st.percentile.highUs) + "]"
                    : std::string("-");
    t += ", " + std::to_string(st.counted) + " logins counted, " + std::to_string(st.failed) + " failed, " +
         rateText(st.throughputPerSecond(), RateRounding::Down) + " ended/s, " + durationText(st.durationUs) +
         ")";
    if (!st.generatorLimit.empty()) t += "; " + st.generatorLimit;
    return t;
}

std::vector<std::string> searchEndTexts(const SearchResult& r, const SearchSettings& s, std::int64_t elapsedUs) {
    std::vector<std::string> lines;
    if (r.knee)
        lines.push_back("the latency bends at about " + rateText(*r.knee, RateRounding::Down) + " logins/s");
    if (r.timeRanOut && r.outcome == Outcome::Found)
        lines.push_back("the time bound ended the search before the bracket was narrower than " +
                        figure(s.precisionPct) + " %");
    lines.push_back("the search took " + durationText(elapsedUs));
    return lines;
}

}  // namespace tarrow::capacity
