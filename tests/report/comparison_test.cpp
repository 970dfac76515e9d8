#include "report/compare/comparison.h"

#include <gtest/gtest.h>

namespace tarrow::compare {
namespace {

// A distribution whose sample of rank k is k + 1 microseconds, scaled.
Distribution ranks(std::uint64_t count, double scale = 1) {
    Distribution d;
    d.count = count;
    d.valueAtRankUs = [scale](std::uint64_t k) { return scale * static_cast<double>(k + 1); };
    const auto at = [&](double q) { return scale * (q * static_cast<double>(count)); };
    d.percentilesUs = {{"p50", at(0.5)}, {"p90", at(0.9)}, {"p99", at(0.99)}, {"p999", at(0.999)}};
    return d;
}

RunFigures run(double scale, std::vector<double> perSecond, std::uint64_t count = 10000) {
    RunFigures r;
    r.path = "run";
    r.measures["latency"] = ranks(count, scale);
    r.measures["bind"] = ranks(count, scale);
    double sum = 0;
    for (double s : perSecond) sum += s;
    r.loginsPerSecond = perSecond.empty() ? 0 : sum / static_cast<double>(perSecond.size());
    r.loginsPerInterval = std::move(perSecond);
    return r;
}

TEST(QuantileInterval, BracketsTheQuantileByOrderStatistics) {
    // 1000 samples, median: ranks 500 -/+ 1.96 * sqrt(250), that is 469 .. 531.
    const auto interval = quantileInterval(ranks(1000), 0.5, 1.96);
    ASSERT_TRUE(interval);
    EXPECT_DOUBLE_EQ(interval->low, 470);
    EXPECT_DOUBLE_EQ(interval->high, 532);
}

TEST(QuantileInterval, ClampsToTheSamplesAndNeedsThem) {
    const auto tail = quantileInterval(ranks(100), 0.999, 1.96);
    ASSERT_TRUE(tail);
    EXPECT_DOUBLE_EQ(tail->high, 100);  // the largest sample, not beyond
    EXPECT_FALSE(quantileInterval(ranks(0), 0.5, 1.96));
    Distribution noHistogram;
    noHistogram.count = 100;
    EXPECT_FALSE(quantileInterval(noHistogram, 0.5, 1.96));
}

TEST(RateDifference, ContainsZeroForTheSameRunAndTheShiftForAShiftedOne) {
    const std::vector<double> a{990, 1010, 1000, 1005, 995, 1000, 1002, 998};
    std::vector<double> b = a;
    const auto same = rateDifferenceInterval(a, b, 0.95, 2000, 7);
    ASSERT_TRUE(same);
    EXPECT_LE(same->low, 0);
    EXPECT_GE(same->high, 0);
    for (double& s : b) s -= 100;
    const auto slower = rateDifferenceInterval(a, b, 0.95, 2000, 7);
    ASSERT_TRUE(slower);
    EXPECT_LT(slower->high, 0);
    EXPECT_GT(slower->low, -120);
    // A fixed seed: the same comparison prints the same interval.
    const auto again = rateDifferenceInterval(a, b, 0.95, 2000, 7);
    EXPECT_EQ(again->low, slower->low);
    EXPECT_EQ(again->high, slower->high);
    EXPECT_FALSE(rateDifferenceInterval({}, b, 0.95, 2000, 7));
    EXPECT_FALSE(rateDifferenceInterval({1000}, b, 0.95, 2000, 7));  // one second tells no spread
}

TEST(CompareRuns, GatesOnASignificantLatencyRegressionBeyondTheThreshold) {
    const std::vector<double> rate(20, 1000);
    const CompareSettings settings;  // 10 %, latency gated
    EXPECT_FALSE(compareRuns(run(1, rate), run(1, rate), settings).worse());
    EXPECT_FALSE(compareRuns(run(1, rate), run(1.05, rate), settings).worse());  // within 10 %
    const Comparison slower = compareRuns(run(1, rate), run(1.3, rate), settings);
    EXPECT_TRUE(slower.worse());
    EXPECT_FALSE(compareRuns(run(1.3, rate), run(1, rate), settings).worse());  // faster is fine
    // Only the gated measures count: a slower bind phase alone does not fail the gate.
    RunFigures bindOnly = run(1, rate);
    bindOnly.measures["bind"] = ranks(10000, 1.5);
    EXPECT_FALSE(compareRuns(run(1, rate), bindOnly, settings).worse());
}

TEST(CompareRuns, ANoisyDifferenceIsNotARegression) {
    // 20 samples each, B's 3 us above A's: the median rises by 30 %, but with so few samples
    // the intervals overlap, so it is not significant.
    const std::vector<double> rate(20, 1000);
    RunFigures a = run(1, rate, 20);
    RunFigures b = run(1, rate, 20);
    Distribution& shifted = b.measures["latency"];
    shifted.valueAtRankUs = [](std::uint64_t k) { return static_cast<double>(k + 4); };
    shifted.percentilesUs["p50"] = 13;
    const Comparison c = compareRuns(a, b, CompareSettings{});
    bool sawMedian = false;
    for (const PercentileRow& row : c.rows)
        if (row.measure == "latency" && row.percentile == "p50") {
            sawMedian = true;
            ASSERT_TRUE(row.differenceUs);
            EXPECT_LT(row.differenceUs->low, 0);
            EXPECT_FALSE(row.worse);
        }
    EXPECT_TRUE(sawMedian);
    EXPECT_FALSE(c.worse());
}

TEST(CompareRuns, GatesOnAThroughputDrop) {
    std::vector<double> a(30), b(30);
    for (int i = 0; i < 30; ++i) {
        a[static_cast<std::size_t>(i)] = 1000 + (i % 5);
        b[static_cast<std::size_t>(i)] = 800 + (i % 5);
    }
    const Comparison c = compareRuns(run(1, a), run(1, b), CompareSettings{});
    EXPECT_TRUE(c.rateWorse);
    EXPECT_TRUE(c.worse());
    const std::string text = formatComparison(c, run(1, a), run(1, b), CompareSettings{});
    EXPECT_NE(text.find("verdict: B is worse than A beyond 10%"), std::string::npos) << text;
    EXPECT_NE(text.find("throughput: A 1002.0 logins/s, B 802.0 logins/s, change -20.0%"), std::string::npos)
        << text;
}

}  // namespace
}  // namespace tarrow::compare
