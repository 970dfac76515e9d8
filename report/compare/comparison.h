// Comparing two runs: each percentile with its difference and a confidence interval, and the
// throughput change, with a verdict for a pipeline gate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "report/compare/run_figures.h"

namespace tarrow::compare {

struct Interval {
    double low = 0;
    double high = 0;
};

// Distribution-free confidence interval of the q-quantile (0 < q < 1) of n samples from the
// order statistics: ranks n*q -/+ z*sqrt(n*q*(1-q)), clamped to the samples (Conover's
// method, normal approximation of the binomial). Empty when n is 0 or no ranks are known.
std::optional<Interval> quantileInterval(const Distribution& d, double q, double z);

// Confidence interval of B - A from independent intervals of A and B: its ends are the
// farthest differences that the two intervals allow, so its level is at least theirs.
Interval differenceInterval(const Interval& a, const Interval& b);

// Percentile bootstrap of the mean logins per second, B - A: resamples each run's seconds
// with replacement, with a fixed seed so that a comparison repeats exactly. Needs two seconds
// of each run at least.
std::optional<Interval> rateDifferenceInterval(const std::vector<double>& a, const std::vector<double>& b,
                                               double level, int resamples, std::uint64_t seed);

struct PercentileRow {
    std::string measure;     // "latency", "connect", ...
    std::string percentile;  // "p50", "p90", "p99", "p99.9"
    double aUs = 0;
    double bUs = 0;
    std::optional<Interval> differenceUs;  // B - A
    bool worse = false;  // B above A by more than the threshold, and the interval above zero
};

struct Comparison {
    std::vector<PercentileRow> rows;
    double aLoginsPerSecond = 0;
    double bLoginsPerSecond = 0;
    std::optional<Interval> rateDifference;  // B - A, logins per second
    bool rateWorse = false;
    bool worse() const;
};

struct CompareSettings {
    double thresholdPercent = 10;                       // a change smaller than this is never "worse"
    double level = 0.95;                                // confidence level of every interval
    std::vector<std::string> gatedMeasures{"latency"};  // measures whose regression fails the gate
};

Comparison compareRuns(const RunFigures& a, const RunFigures& b, const CompareSettings& settings);

// The printed table.
std::string formatComparison(const Comparison& c, const RunFigures& a, const RunFigures& b,
                             const CompareSettings& settings);

}  // namespace tarrow::compare
