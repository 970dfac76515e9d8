// The rate file and --rate: what a curve is made of, and faults named by file and line.
#include <gtest/gtest.h>

#include "common/load/arrivals.h"
#include "common/load/rate_curve.h"

using namespace tarrow::load;

TEST(RateFile, StepsWithCommentsBlanksAndCarriageReturns) {
    const auto parsed = parseRateFile("# morning storm\n\n  100 , 2\r\n500,0.5 # peak\n\t0,1\n", "curve.txt");
    ASSERT_EQ(parsed.error, "");
    ASSERT_EQ(parsed.steps.size(), 3u);
    EXPECT_EQ(parsed.steps[0].perSecond, 100);
    EXPECT_EQ(parsed.steps[0].seconds, 2);
    EXPECT_EQ(parsed.steps[1].seconds, 0.5);
    EXPECT_EQ(parsed.steps[2].perSecond, 0);
    EXPECT_EQ(parseRateFile("10,1", "f").steps.size(), 1u);  // no line end at the end
}

TEST(RateFile, FaultsNameFileAndLine) {
    EXPECT_EQ(parseRateFile("10,1\n10\n", "c.txt").error, "c.txt:2: expected RATE,SECONDS");
    EXPECT_EQ(parseRateFile("10,1,2\n", "c.txt").error, "c.txt:1: expected RATE,SECONDS");
    EXPECT_EQ(parseRateFile("# x\n-5,1\n", "c.txt").error,
              "c.txt:2: the rate must be a number from 0 to 1e+06");
    EXPECT_EQ(parseRateFile("ten,1\n", "c.txt").error, "c.txt:1: the rate must be a number from 0 to 1e+06");
    EXPECT_EQ(parseRateFile("1e3,1\n", "c.txt").error, "c.txt:1: the rate must be a number from 0 to 1e+06");
    EXPECT_EQ(parseRateFile("10,0\n", "c.txt").error,
              "c.txt:1: the seconds must be a number above 0 up to 1e+06");
    EXPECT_EQ(parseRateFile("10,nan\n", "c.txt").error,
              "c.txt:1: the seconds must be a number above 0 up to 1e+06");
    EXPECT_EQ(parseRateFile("# only a comment\n\n", "c.txt").error, "c.txt: no RATE,SECONDS line");
    EXPECT_EQ(parseRateFile("", "c.txt").error, "c.txt: no RATE,SECONDS line");
    EXPECT_TRUE(parseRateFile("10,1\nx\n", "c.txt").steps.empty());  // nothing half-parsed
    EXPECT_EQ(readRateFile("/nonexistent/curve").error, "/nonexistent/curve: cannot be read");
}

TEST(RateOption, OnlyPositiveDecimalNumbers) {
    EXPECT_EQ(parseRate("200"), 200);
    EXPECT_EQ(parseRate("0.5"), 0.5);
    for (const char* bad : {"0", "-1", "", "abc", "1e3", "inf", "nan", "5x", "2000000"}) {
        EXPECT_FALSE(parseRate(bad)) << bad;
    }
}

TEST(Arrivals, EvenlySpacedStepByStep) {
    Arrivals a({{4, 1}, {0, 1}, {2, 1}}, ArrivalKind::Even, 1);
    std::vector<std::int64_t> due;
    while (auto d = a.next()) due.push_back(*d);
    EXPECT_EQ(due, (std::vector<std::int64_t>{0, 250'000, 500'000, 750'000, 2'000'000, 2'500'000}));
    EXPECT_EQ(a.rateAt(1'500'000), 0);
    EXPECT_EQ(a.rateAt(2'000'000), 2);
    EXPECT_EQ(a.rateAt(3'000'000), 0);
    EXPECT_EQ(a.endUs(), 3'000'000);
}

TEST(Arrivals, PoissonIsFixedBySeedAndHoldsItsRate) {
    auto draw = [](std::uint64_t seed) {
        Arrivals a({{1000, 10}}, ArrivalKind::Poisson, seed);
        std::vector<std::int64_t> due;
        while (auto d = a.next()) due.push_back(*d);
        return due;
    };
    const auto first = draw(7);
    EXPECT_EQ(first, draw(7));
    EXPECT_NE(first, draw(8));
    // 10 000 expected; a Poisson count's standard deviation is 100.
    EXPECT_NEAR(static_cast<double>(first.size()), 10'000, 400);
    EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
    EXPECT_LT(first.back(), 10'000'000);
}
