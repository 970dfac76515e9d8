// The statistics of a capacity step: the exact binomial tails, the one-sided verdict at its
// edges, the count over a bound from the histogram and the interval of a percentile.
#include "common/capacity/share_verdict.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarrow::capacity {
namespace {

// P(X = i) summed directly, for small n.
double directAtMost(std::uint64_t k, std::uint64_t n, double p) {
    double sum = 0;
    for (std::uint64_t i = 0; i <= k && i <= n; ++i)
        sum += std::exp(std::lgamma(double(n) + 1) - std::lgamma(double(i) + 1) -
                        std::lgamma(double(n - i) + 1) + double(i) * std::log(p) +
                        double(n - i) * std::log1p(-p));
    return sum;
}

TEST(ShareVerdict, BinomialTailsMatchTheDirectSum) {
    for (std::uint64_t n : {1u, 7u, 100u, 300u, 1000u})
        for (double p : {0.001, 0.01, 0.1, 0.5})
            for (std::uint64_t k = 0; k <= n; k += 1 + n / 13) {
                EXPECT_NEAR(binomialAtMost(k, n, p), directAtMost(k, n, p), 1e-9)
                    << k << "/" << n << " p " << p;
                const double atLeast = k == 0 ? 1 : 1 - directAtMost(k - 1, n, p);
                EXPECT_NEAR(binomialAtLeast(k, n, p), atLeast, 1e-9) << k << "/" << n << " p " << p;
            }
    EXPECT_EQ(binomialAtMost(5, 5, 0.3), 1);
    EXPECT_EQ(binomialAtLeast(6, 5, 0.3), 0);
}

TEST(ShareVerdict, MetNeedsEnoughLoginsWithinTheBound) {
    // 0.99^298 = 0.0500..., 0.99^299 = 0.0495...: p99 at 95 % needs 299 logins, none over.
    EXPECT_EQ(shareVerdict(0, 298, 0.01, 0.95), Verdict::Undecided);
    EXPECT_EQ(shareVerdict(0, 299, 0.01, 0.95), Verdict::Met);
    EXPECT_EQ(shareVerdict(1, 299, 0.01, 0.95), Verdict::Undecided);
    EXPECT_EQ(shareVerdict(1, 474, 0.01, 0.95), Verdict::Met);
    EXPECT_EQ(shareVerdict(0, 0, 0.01, 0.95), Verdict::Undecided);
    // A higher confidence needs more.
    EXPECT_EQ(shareVerdict(0, 299, 0.01, 0.99), Verdict::Undecided);
    EXPECT_EQ(shareVerdict(0, 459, 0.01, 0.99), Verdict::Met);
}

TEST(ShareVerdict, FailedNeedsClearlyTooManyOver) {
    // Of 100 logins at p99: P(X >= 3) = 0.079, P(X >= 4) = 0.018.
    EXPECT_EQ(shareVerdict(3, 100, 0.01, 0.95), Verdict::Undecided);
    EXPECT_EQ(shareVerdict(4, 100, 0.01, 0.95), Verdict::Failed);
    EXPECT_EQ(shareVerdict(100, 100, 0.01, 0.95), Verdict::Failed);
    // A share right at the allowed one stays undecided however many logins there are.
    EXPECT_EQ(shareVerdict(1000, 100000, 0.01, 0.95), Verdict::Undecided);
    EXPECT_EQ(shareVerdict(1, 1, 0.01, 0.95), Verdict::Failed);
}

TEST(ShareVerdict, CountOverTheBoundErrsOnTheFailingSide) {
    LatencyHistogram h;
    for (std::int64_t us : {100, 127, 5000, 9999, 10000, 10001, 20000}) h.record(us);
    EXPECT_EQ(countOver(h, 127), 5u) << "exact buckets below 128 us";
    EXPECT_EQ(countOver(h, 20000), 0u);
    // 9,999 to 10,001 share a bucket that straddles 10,000: all three count as over.
    EXPECT_EQ(countOver(h, 10000), 4u);
    EXPECT_EQ(countOver(LatencyHistogram{}, 10), 0u);
}

TEST(ShareVerdict, PercentileIntervalHoldsTheValueAndNarrowsWithMoreLogins) {
    LatencyHistogram small, large;
    for (int i = 1; i <= 200; ++i) small.record(i * 100);
    for (int i = 1; i <= 20000; ++i) large.record(i);
    const auto s = percentileInterval(small, 0.5, 0.95);
    EXPECT_LE(s.lowUs, s.valueUs);
    EXPECT_GE(s.highUs, s.valueUs);
    EXPECT_NEAR(double(s.valueUs), 10000, 100);
    EXPECT_NEAR(double(s.lowUs), 8600, 200);  // rank 100 - 1.96 * 7.07 = 86
    EXPECT_NEAR(double(s.highUs), 11500, 200);
    const auto l = percentileInterval(large, 0.99, 0.95);
    EXPECT_LT(double(l.highUs - l.lowUs) / double(l.valueUs), 0.01);
    // Too few logins for a p99 interval: open at the top, shown as the largest value.
    EXPECT_EQ(percentileInterval(small, 0.99, 0.95).highUs, small.max());
    EXPECT_EQ(percentileInterval(LatencyHistogram{}, 0.99, 0.95).valueUs, 0);
}

}  // namespace
}  // namespace tarrow::capacity
