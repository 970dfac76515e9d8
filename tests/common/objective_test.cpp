// The objective of a capacity search as the command line gives it, and the texts of the
// search's figures and result.
#include "common/capacity/capacity_search.h"
#include "common/capacity/capacity_text.h"
#include "common/capacity/objective.h"

#include <gtest/gtest.h>

namespace tarrow::capacity {
namespace {

TEST(Objective, ParsesPercentileBoundAndErrors) {
    const auto a = parseObjective("p99<=20ms").objective;
    ASSERT_TRUE(a);
    EXPECT_EQ(a->percentile, 99);
    EXPECT_EQ(a->boundUs, 20000);
    EXPECT_FALSE(a->errorsPct);
    EXPECT_EQ(a->text(), "p99 <= 20 ms");
    EXPECT_NEAR(a->allowedOverShare(), 0.01, 1e-12);

    const auto b = parseObjective(" p99.9 <= 50ms , errors<=0.1% ").objective;
    ASSERT_TRUE(b);
    EXPECT_EQ(b->percentile, 99.9);
    EXPECT_EQ(b->boundUs, 50000);
    EXPECT_EQ(b->errorsPct, 0.1);
    EXPECT_EQ(b->text(), "p99.9 <= 50 ms, errors <= 0.1 %");
    EXPECT_EQ(b->percentileName(), "p99.9");

    EXPECT_EQ(parseObjective("errors<=1%,p50<=800us").objective->text(), "p50 <= 800 us, errors <= 1 %");
    EXPECT_EQ(parseObjective("p90<=1.5s").objective->boundUs, 1'500'000);
    EXPECT_EQ(parseObjective("p90<=2s").objective->text(), "p90 <= 2 s");
    EXPECT_EQ(parseObjective("p95<=2.5ms").objective->text(), "p95 <= 2.5 ms");
}

TEST(Objective, SaysWhatIsWrong) {
    const auto error = [](const char* text) { return parseObjective(text).error; };
    const std::string example = " (for example p99<=20ms or p99.9<=50ms,errors<=0.1%)";
    EXPECT_EQ(error(""), "cannot read the objective part \"\"" + example);
    EXPECT_EQ(error("latency<20ms"), "cannot read the objective part \"latency<20ms\"" + example);
    EXPECT_EQ(error("p100<=20ms"), "the percentile of \"p100<=20ms\" must be above 0 and below 100" + example);
    EXPECT_EQ(error("p0<=20ms"), "the percentile of \"p0<=20ms\" must be above 0 and below 100" + example);
    EXPECT_EQ(error("p99<20ms"), "\"p99<20ms\" needs <= and a bound" + example);
    EXPECT_EQ(error("p99<=20"), "the bound of \"p99<=20\" needs a number and us, ms or s" + example);
    EXPECT_EQ(error("p99<=20min"), "the bound of \"p99<=20min\" needs a number and us, ms or s" + example);
    EXPECT_EQ(error("p99<=0ms"), "the bound of \"p99<=0ms\" must be from 1 us to 3600 s" + example);
    EXPECT_EQ(error("errors<=1%"), "the objective needs a percentile bound" + example);
    EXPECT_EQ(error("p99<=1ms,p90<=1ms"), "the objective names a percentile twice" + example);
    EXPECT_EQ(error("p99<=1ms,errors<=1"),
              "the share of \"errors<=1\" needs a percentage from 0 to 100 and %" + example);
    EXPECT_EQ(error("p99<=1ms,errors<=101%"),
              "the share of \"errors<=101%\" needs a percentage from 0 to 100 and %" + example);
    EXPECT_EQ(error("p99<=1ms,errors<=1%,errors<=2%"), "the objective names errors twice" + example);
    EXPECT_EQ(error("p99<=1ms,"), "cannot read the objective part \"\"" + example);
}

TEST(CapacityText, RatesNeverClaimMore) {
    EXPECT_EQ(rateText(992.1875, RateRounding::Down), "992");
    EXPECT_EQ(rateText(992.1875, RateRounding::Up), "993");
    EXPECT_EQ(rateText(1000, RateRounding::Up), "1000");
    EXPECT_EQ(rateText(12.5, RateRounding::Down), "12.5");
    EXPECT_EQ(rateText(10.0 / 3 * 3, RateRounding::Up), "10");
    EXPECT_EQ(confidenceText(0.95), "95 %");
    EXPECT_EQ(confidenceText(0.999), "99.9 %");
    EXPECT_EQ(durationText(45'000'000), "45 s");
    EXPECT_EQ(durationText(12'345'678), "12.35 s");
    EXPECT_EQ(durationText(2'500), "2.5 ms");
}

TEST(CapacityText, TheResultLine) {
    SearchSettings s;
    s.objective = *parseObjective("p99<=20ms").objective;
    SearchResult r;
    r.outcome = Outcome::Found;
    r.highestMet = 992.1875;
    r.lowestFailed = 1000;
    EXPECT_EQ(resultLine(r, s), "Capacity: 992 logins/s (992..1000) with p99 <= 20 ms at 95 % confidence");
    r.outcome = Outcome::AtLeast;
    r.reason = "the load generator ran out of workers (1 worker)";
    EXPECT_EQ(
        resultLine(r, s),
        "Capacity: at least 992 logins/s with p99 <= 20 ms at 95 % confidence: the load generator ran out of "
        "workers (1 worker)");
    r.outcome = Outcome::None;
    r.reason = "even 10 logins/s failed p99 <= 20 ms";
    EXPECT_EQ(resultLine(r, s), "Capacity: none: even 10 logins/s failed p99 <= 20 ms");
}

}  // namespace
}  // namespace tarrow::capacity
