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

}  // namespace tarrow::capacity
