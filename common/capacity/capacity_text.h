// Every human-readable figure of a capacity search, and its one result line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarrow::capacity {

struct SearchResult;
struct SearchSettings;
struct StepRecord;
struct Objective;

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

// The lines a search tells as it goes (standard error), each without its program's prefix:
// what it looks for, before the first step ("finding the highest rate with p99 <= 10 ms at
// 95 % confidence, from 10 logins/s to 2 %, within 180 s");
std::string searchStartText(const SearchSettings& settings);
// one per step ("1000 logins/s: met (p99 5.8 ms [5.2 ms..6.1 ms], 2065 logins counted, ...)");
std::string stepText(const StepRecord& step, const Objective& objective);
// and after the last: the knee, a time bound that ended it early, its time (elapsedUs).
std::vector<std::string> searchEndTexts(const SearchResult& result, const SearchSettings& settings,
                                        std::int64_t elapsedUs);

}  // namespace tarrow::capacity
