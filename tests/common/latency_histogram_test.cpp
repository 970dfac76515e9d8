// The shared latency histogram: error bound, exact figures, merge, serialised form.
#include "common/latency_histogram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using tarrow::LatencyHistogram;

TEST(LatencyHistogram, EmptyReportsZeros) {
    const LatencyHistogram h;
    EXPECT_EQ(h.count(), 0u);
    EXPECT_EQ(h.min(), 0);
    EXPECT_EQ(h.max(), 0);
    EXPECT_EQ(h.mean(), 0.0);
    for (double q : {0.0, 0.5, 0.99, 1.0}) EXPECT_EQ(h.percentile(q), 0);
}

TEST(LatencyHistogram, SmallValuesAreExact) {
    for (std::int64_t v = 0; v < LatencyHistogram::kExactBelow; ++v) {
        LatencyHistogram h;
        h.record(v);
        h.record(v);
        h.record(v + 1000);
        EXPECT_EQ(h.percentile(0.5), v);
        EXPECT_EQ(LatencyHistogram::bucketLow(LatencyHistogram::bucketOf(v)), v);
        EXPECT_EQ(LatencyHistogram::bucketHigh(LatencyHistogram::bucketOf(v)), v);
    }
}

TEST(LatencyHistogram, BucketsTileTheRangeWithoutGapsAndWithinOnePercent) {
    std::int64_t expectedLow = 0;
    for (std::size_t i = 0; i < LatencyHistogram::kBucketCount; ++i) {
        const std::int64_t low = LatencyHistogram::bucketLow(i);
        const std::int64_t high = LatencyHistogram::bucketHigh(i);
        ASSERT_EQ(low, expectedLow) << i;
        ASSERT_GE(high, low);
        ASSERT_EQ(LatencyHistogram::bucketOf(low), i);
        ASSERT_EQ(LatencyHistogram::bucketOf(high), i);
        // The middle stands for every value of the bucket.
        const std::int64_t middle = low + (high - low) / 2;
        if (low > 0) {
            ASSERT_LE(static_cast<double>(middle - low) / static_cast<double>(low),
                      LatencyHistogram::kMaxRelativeError);
            ASSERT_LE(static_cast<double>(high - middle) / static_cast<double>(high),
                      LatencyHistogram::kMaxRelativeError);
        }
        expectedLow = high + 1;
    }
    EXPECT_EQ(expectedLow - 1, LatencyHistogram::kHighestTracked);
    EXPECT_GE(LatencyHistogram::kHighestTracked, 10LL * 60 * 1'000'000);  // at least 10 minutes
    EXPECT_LE(LatencyHistogram::kMaxRelativeError, 0.01);
}

TEST(LatencyHistogram, PercentilesWithinOnePercentOfTheExactValue) {
    std::mt19937_64 random(12);
    std::lognormal_distribution<double> spread(std::log(800.0), 1.5);  // about 0.8 ms, long tail
    std::vector<std::int64_t> values;
    LatencyHistogram h;
    for (int i = 0; i < 200'000; ++i) {
        const auto v = std::clamp<std::int64_t>(std::llround(spread(random)), 1, 600'000'000);
        values.push_back(v);
        h.record(v);
    }
    std::sort(values.begin(), values.end());
    for (double q : {0.01, 0.25, 0.5, 0.9, 0.99, 0.999, 0.9999}) {
        const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
        const double exact = static_cast<double>(values[rank - 1]);
        EXPECT_NEAR(static_cast<double>(h.percentile(q)), exact, exact * 0.01) << "q " << q;
    }
    EXPECT_EQ(h.percentile(1.0), values.back());
    EXPECT_EQ(h.percentile(0.0), values.front());
}

TEST(LatencyHistogram, CountMinMaxAndMeanAreExact) {
    LatencyHistogram h;
    for (std::int64_t v : std::vector<std::int64_t>{7, 1'000'003, 15, 600'000'000'000LL, -5}) h.record(v);
    EXPECT_EQ(h.count(), 5u);
    EXPECT_EQ(h.min(), 0);                  // a negative value counts as 0
    EXPECT_EQ(h.max(), 600'000'000'000LL);  // beyond the top bucket, still exact
    EXPECT_EQ(h.sum(), 600'001'000'025ULL);
    EXPECT_DOUBLE_EQ(h.mean(), 600'001'000'025.0 / 5);
    EXPECT_EQ(h.percentile(1.0), 600'000'000'000LL);
}

TEST(LatencyHistogram, MergeIsAsIfEveryValueHadBeenRecordedInOne) {
    std::mt19937_64 random(3);
    std::uniform_int_distribution<std::int64_t> any(0, 5'000'000);
    LatencyHistogram a, b, both;
    for (int i = 0; i < 10'000; ++i) {
        const std::int64_t v = any(random);
        (i % 3 ? a : b).record(v);
        both.record(v);
    }
    LatencyHistogram merged = a;
    merged.merge(b);
    EXPECT_EQ(merged, both);
    LatencyHistogram empty;
    empty.merge(a);
    EXPECT_EQ(empty, a);
    a.merge(LatencyHistogram{});
    EXPECT_EQ(empty, a);
}

TEST(LatencyHistogram, SerialisedFormRoundTripsExactlyAndIsCompact) {
    LatencyHistogram h;
    EXPECT_EQ(h.serialize().size(), 5u);
    ASSERT_EQ(LatencyHistogram::deserialize(h.serialize()), h);
    for (std::int64_t v :
         std::vector<std::int64_t>{0, 1, 127, 128, 999'999, 3'000'000'000LL, 9'000'000'000'000LL})
        h.record(v);
    for (int i = 0; i < 1000; ++i) h.record(400 + i % 50);
    const std::string bytes = h.serialize();
    const auto back = LatencyHistogram::deserialize(bytes);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, h);
    EXPECT_EQ(back->serialize(), bytes);
    EXPECT_LT(bytes.size(), 200u);
    const auto text = h.serializeText();
    EXPECT_EQ(text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_EQ(LatencyHistogram::deserializeText(text), h);
}

TEST(LatencyHistogram, MalformedSerialisedFormsAreRefused) {
    LatencyHistogram h;
    h.record(5);
    h.record(5000);
    const std::string good = h.serialize();
    EXPECT_FALSE(LatencyHistogram::deserialize(""));
    EXPECT_FALSE(LatencyHistogram::deserialize(std::string("\x02") + good.substr(1)));  // other version
    for (std::size_t cut = 1; cut < good.size(); ++cut)
        EXPECT_FALSE(LatencyHistogram::deserialize(good.substr(0, cut))) << cut;
    std::string wrongCount = good;
    wrongCount[1] = 3;  // count 3, buckets hold 2
    EXPECT_FALSE(LatencyHistogram::deserialize(wrongCount));
    EXPECT_FALSE(LatencyHistogram::deserialize(good + std::string("\x7f\x01", 2)));  // one value past the count
    EXPECT_FALSE(LatencyHistogram::deserializeText("A*"));
    EXPECT_FALSE(LatencyHistogram::deserializeText(h.serializeText() + "B"));
}

TEST(LatencyHistogram, ClearForgetsEverything) {
    LatencyHistogram h;
    h.record(42);
    h.clear();
    EXPECT_EQ(h, LatencyHistogram{});
}

}  // namespace
