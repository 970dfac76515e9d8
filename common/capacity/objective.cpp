#include "common/capacity/objective.h"

#include "common/capacity/capacity_text.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace tarrow::capacity {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A plain decimal number ("20", "99.9", ".5") at the start of s; what follows stays in s.
std::optional<double> leadingNumber(std::string_view& s) {
    std::size_t n = 0;
    bool digit = false, point = false;
    for (; n < s.size(); ++n) {
        if (s[n] >= '0' && s[n] <= '9') digit = true;
        else if (s[n] == '.' && !point)
            point = true;
        else
            break;
    }
    if (!digit) return std::nullopt;
    const double value = std::strtod(std::string(s.substr(0, n)).c_str(), nullptr);
    s.remove_prefix(n);
    return value;
}

// "<=" and blanks around it.
bool takeAtMost(std::string_view& s) {
    s = trimmed(s);
    if (s.substr(0, 2) != "<=") return false;
    s = trimmed(s.substr(2));
    return true;
}

}  // namespace

std::string Objective::percentileName() const { return "p" + figure(percentile); }

std::string Objective::text() const {
    std::string t = percentileName() + " <= " + durationText(boundUs);
    if (errorsPct) t += ", errors <= " + figure(*errorsPct) + " %";
    return t;
}

ObjectiveParse parseObjective(std::string_view text) {
    const std::string example = " (for example p99<=20ms or p99.9<=50ms,errors<=0.1%)";
    Objective objective;
    bool havePercentile = false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        std::string_view part = trimmed(
            text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
        const std::string quoted = "\"" + std::string(part) + "\"";
        if (part.substr(0, 1) == "p") {
            if (havePercentile) return {std::nullopt, "the objective names a percentile twice" + example};
            part.remove_prefix(1);
            const auto pct = leadingNumber(part);
            if (!pct || *pct <= 0 || *pct >= 100)
                return {std::nullopt,
                        "the percentile of " + quoted + " must be above 0 and below 100" + example};
            if (!takeAtMost(part)) return {std::nullopt, quoted + " needs <= and a bound" + example};
            const auto bound = leadingNumber(part);
            const std::string_view unit = trimmed(part);
            const double scale = unit == "us" ? 1 : unit == "ms" ? 1e3 : unit == "s" ? 1e6 : 0;
            if (!bound || scale == 0)
                return {std::nullopt, "the bound of " + quoted + " needs a number and us, ms or s" + example};
            const double us = std::round(*bound * scale);
            if (us < 1 || us > 3600e6)
                return {std::nullopt, "the bound of " + quoted + " must be from 1 us to 3600 s" + example};
            objective.percentile = *pct;
            objective.boundUs = static_cast<std::int64_t>(us);
            havePercentile = true;
        } else if (part.substr(0, 6) == "errors") {
            if (objective.errorsPct) return {std::nullopt, "the objective names errors twice" + example};
            part.remove_prefix(6);
            if (!takeAtMost(part)) return {std::nullopt, quoted + " needs <= and a share" + example};
            const auto pct = leadingNumber(part);
            if (!pct || trimmed(part) != "%" || *pct > 100)
                return {std::nullopt,
                        "the share of " + quoted + " needs a percentage from 0 to 100 and %" + example};
            objective.errorsPct = *pct;
        } else {
            return {std::nullopt, "cannot read the objective part " + quoted + example};
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (!havePercentile) return {std::nullopt, "the objective needs a percentile bound" + example};
    return {objective, {}};
}

}  // namespace tarrow::capacity
