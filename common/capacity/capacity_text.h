// Every human-readable figure of a capacity search, and its one result line.
#pragma once

#include <cstdint>
#include <string>

namespace tarrow::capacity {

struct SearchResult;
struct SearchSettings;

// "20", "0.1", "99.9": up to six significant digits, no trailing zeros.
std::string figure(double value);
// "800 us", "2.5 ms", "3.12 s", "45 s".
std::string durationText(std::int64_t us);
// A rate of logins per second: whole above 100, else up to four digits ("12.5"). A rate that
// met an objective is rounded down, one that failed up, so that the text never claims more.
enum class RateRounding { Down, Up };
std::string rateText(double perSecond, RateRounding rounding);
// 0.95: "95 %".
std::string confidenceText(double confidence);

// The last line of standard output: "Capacity: 992 logins/s (992..1000) with p99 <= 10 ms at
// 95 % confidence", "Capacity: at least R logins/s with ... : WHAT RAN OUT", or "Capacity:
// none: REASON".
std::string resultLine(const SearchResult& result, const SearchSettings& settings);

}  // namespace tarrow::capacity
