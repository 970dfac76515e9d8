// The statistics of a capacity step: whether the share of logins over a bound is below what
// an objective allows, by a one-sided exact binomial test, and the interval of a percentile
// from order statistics. Plain functions of counts: the same answer for the same counts.
#pragma once

#include "common/latency_histogram.h"

#include <cstdint>

namespace tarrow::capacity {

enum class Verdict { Met, Failed, Undecided };
const char* verdictName(Verdict v);  // "met", "failed", "undecided"

// P(X <= k) and P(X >= k) for X ~ Binomial(n, p), 0 <= p <= 1.
double binomialAtMost(std::uint64_t k, std::uint64_t n, double p);
double binomialAtLeast(std::uint64_t k, std::uint64_t n, double p);

// over of n logins were over the bound; the objective allows a share of allowed. Met when
// so few are over that a true share of allowed or more would give as few with a chance of at
// most 1 - confidence; failed when so many that a true share of allowed or less would give as
// many with that chance; else undecided (more logins are needed).
Verdict shareVerdict(std::uint64_t over, std::uint64_t n, double allowed, double confidence);

// The logins a histogram holds over boundUs. A bucket that straddles the bound counts as
// over: the test errs on the side of a failed step, never of a capacity too high.
std::uint64_t countOver(const LatencyHistogram& h, std::int64_t boundUs);

// The two-sided distribution-free interval of the q-quantile at confidence, from the ranks of
// the order statistics (normal approximation of the binomial), in microseconds.
struct PercentileInterval {
    std::int64_t valueUs = 0;
    std::int64_t lowUs = 0;
    std::int64_t highUs = 0;
};
PercentileInterval percentileInterval(const LatencyHistogram& h, double q, double confidence);

}  // namespace tarrow::capacity
