#include <gtest/gtest.h>

#include "client/ui/figure_text.h"

using tarrow::elapsedTimeText;
using tarrow::resultCodeHex;

TEST(ElapsedTimeText, MillisecondsShowAtLeastTwoDigits) {
    EXPECT_EQ(elapsedTimeText(1'005'000), "00:00:01:05");
    EXPECT_EQ(elapsedTimeText(125'300'000), "00:02:05:300");
    EXPECT_EQ(elapsedTimeText(123'456'000), "00:02:03:456");
    EXPECT_EQ(elapsedTimeText(65'250'000), "00:01:05:250");
    EXPECT_EQ(elapsedTimeText(0), "00:00:00:00");
}

TEST(ElapsedTimeText, RoundsToTheNearestMillisecond) {
    EXPECT_EQ(elapsedTimeText(1'499), "00:00:00:01");
    EXPECT_EQ(elapsedTimeText(1'500), "00:00:00:02");
    EXPECT_EQ(elapsedTimeText(999'600), "00:00:01:00");
}

TEST(ElapsedTimeText, NegativeSpanCountsAsPositiveAndHoursWrapAtOneDay) {
    EXPECT_EQ(elapsedTimeText(-1'005'000), "00:00:01:05");
    EXPECT_EQ(elapsedTimeText(86'400'000'000), "00:00:00:00");
    EXPECT_EQ(elapsedTimeText((25LL * 3600 + 61) * 1'000'000), "01:01:01:00");
    EXPECT_EQ(elapsedTimeText((23LL * 3600 + 59 * 60 + 59) * 1'000'000 + 999'000), "23:59:59:999");
}

TEST(ResultCodeHex, UpperCaseAtLeastTwoDigitsNegativeAsTwosComplement) {
    EXPECT_EQ(resultCodeHex(1), "01");
    EXPECT_EQ(resultCodeHex(0), "00");
    EXPECT_EQ(resultCodeHex(255), "FF");
    EXPECT_EQ(resultCodeHex(4096), "1000");
    EXPECT_EQ(resultCodeHex(-9999), "FFFFD8F1");
    EXPECT_EQ(resultCodeHex(-10000), "FFFFD8F0");
    EXPECT_EQ(resultCodeHex(INT32_MIN), "80000000");
}
