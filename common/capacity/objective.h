// What a capacity search holds each rate to: a percentile of the login latency (from the due
// time to the end) under a bound, and optionally a largest share of failed logins.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarrow::capacity {

struct Objective {
    double percentile = 99;           // 0 < percentile < 100
    std::int64_t boundUs = 0;         // more than 0
    std::optional<double> errorsPct;  // none: failed logins count as over the bound
    double allowedOverShare() const { return 1.0 - percentile / 100.0; }
    // "p99 <= 20 ms", "p99.9 <= 50 ms, errors <= 0.1 %".
    std::string text() const;
    // "p99", "p99.9".
    std::string percentileName() const;
};

struct ObjectiveParse {
    std::optional<Objective> objective;
    std::string error;
};

// "p99<=20ms", "p99.9<=50ms,errors<=0.1%"; blanks are allowed around each part. The bound
// takes us, ms or s; the percentile is above 0 and below 100, the errors share from 0 to
// 100 %. Each part at most once, the percentile part required.
ObjectiveParse parseObjective(std::string_view text);

}  // namespace tarrow::capacity
