#include "common/load/curve_options.h"

#include <charconv>
#include <limits>

namespace tarrow::load {

std::optional<std::string> applyCurveOptions(const CurveTexts& t, LoadPlan& plan) {
    if (!t.rate.empty() && !t.rateFile.empty())
        return std::string("--rate and --rate-file exclude each other");
    if (!t.rate.empty()) {
        const auto rate = parseRate(t.rate);
        if (!rate)
            return "--rate needs a number of logins per second above 0, at most " +
                   std::to_string(int(kMaxRate));
        plan.curve = {{*rate, kMaxStepSeconds}};
    }
    if (!t.rateFile.empty()) {
        auto parsed = readRateFile(t.rateFile);
        if (!parsed.error.empty()) return "--rate-file: " + parsed.error;
        plan.curve = std::move(parsed.steps);
    }
    if (t.arrivals.empty() && t.seed.empty()) return std::nullopt;
    if (plan.curve.empty())
        return std::string(t.arrivals.empty() ? "--seed" : "--arrivals") + " needs --rate or --rate-file";
    if (t.arrivals == "poisson") plan.arrivals = ArrivalKind::Poisson;
    else if (!t.arrivals.empty() && t.arrivals != "even")
        return std::string("--arrivals needs even or poisson");
    if (!t.seed.empty()) {
        std::uint64_t seed = 0;
        const char* end = t.seed.data() + t.seed.size();
        const auto [ptr, ec] = std::from_chars(t.seed.data(), end, seed);
        if (ec != std::errc() || ptr != end || seed > std::uint64_t(std::numeric_limits<long long>::max()))
            return std::string("--seed needs a whole number of 0 or more");
        plan.seed = seed;
    }
    return std::nullopt;
}

}  // namespace tarrow::load
