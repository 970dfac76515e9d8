#include "generator/logic/number_of_users.h"

#include <gtest/gtest.h>

namespace tarrowmgr {
namespace {

std::int32_t count(std::string_view text) {
    const NumberOfUsers result = parseNumberOfUsers(text);
    EXPECT_TRUE(result.ok) << text << ": " << result.error;
    return result.count;
}

TEST(NumberOfUsers, ReadsTheLeadingNumberAndStopsAtTheFirstCharacterThatCannotContinueIt) {
    EXPECT_EQ(count("10"), 10);
    EXPECT_EQ(count("7 word"), 7);
    EXPECT_EQ(count("12,5"), 12);
    EXPECT_EQ(count("12$"), 12);
    EXPECT_EQ(count("+8"), 8);
    EXPECT_EQ(count("-3"), -3);
    EXPECT_EQ(count("5e"), 5);
    EXPECT_EQ(count("5e+"), 5);
    EXPECT_EQ(count("4-2"), 4);
}

TEST(NumberOfUsers, IgnoresBlanksTabsAndLineFeedsAnywhere) {
    EXPECT_EQ(count("1 0"), 10);
    EXPECT_EQ(count(" \t1\n2 "), 12);
    EXPECT_EQ(count("- 4"), -4);
    EXPECT_EQ(count("1\r2"), 1);  // a carriage return is not skipped
}

TEST(NumberOfUsers, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(count("2.5"), 2);
    EXPECT_EQ(count("3.5"), 4);
    EXPECT_EQ(count("-2.5"), -2);
    EXPECT_EQ(count("2.51"), 3);
    EXPECT_EQ(count("0.5"), 0);
    EXPECT_EQ(count(".7"), 1);
}

TEST(NumberOfUsers, ReadsExponents) {
    EXPECT_EQ(count("1e3"), 1000);
    EXPECT_EQ(count("1.5E2"), 150);
    EXPECT_EQ(count("25d-1"), 2);
    EXPECT_EQ(count("1e-999"), 0);
}

TEST(NumberOfUsers, ReadsHexadecimalAndOctalAfterTheirPrefixes) {
    EXPECT_EQ(count("&H1F"), 31);
    EXPECT_EQ(count("&hff"), 255);
    EXPECT_EQ(count("&O17"), 15);
    EXPECT_EQ(count("&o178"), 15);
    EXPECT_EQ(count("&H"), 0);
    EXPECT_EQ(count("&H7FFFFFFF"), 2147483647);
}

TEST(NumberOfUsers, TextWithoutALeadingNumberGivesZero) {
    EXPECT_EQ(count(""), 0);
    EXPECT_EQ(count("ten"), 0);
    EXPECT_EQ(count("-"), 0);
    EXPECT_EQ(count("."), 0);
    EXPECT_EQ(count("$5"), 0);
    EXPECT_EQ(count("&X5"), 0);
}

TEST(NumberOfUsers, AcceptsTheWholeSignedThirtyTwoBitRange) {
    EXPECT_EQ(count("2147483647"), 2147483647);
    EXPECT_EQ(count("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(count("2147483647.4"), 2147483647);
}

TEST(NumberOfUsers, RefusesValuesOutsideTheSignedThirtyTwoBitRangeWithAClearMessage) {
    for (const char* text : {"2147483648", "2147483647.5", "-2147483649", "1e10", "1e999", "&H80000000",
                             "&O777777777777", "99999999999999999999999"}) {
        const NumberOfUsers result = parseNumberOfUsers(text);
        EXPECT_FALSE(result.ok) << text;
        EXPECT_NE(result.error.find("out of range"), std::string::npos) << result.error;
        EXPECT_NE(result.error.find(text), std::string::npos) << result.error;
    }
}

}  // namespace
}  // namespace tarrowmgr
