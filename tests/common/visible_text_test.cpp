#include <gtest/gtest.h>

#include <string>

#include "common/visible_text.h"

using tarrow::hasControlBytes;
using tarrow::visibleText;

TEST(VisibleText, ControlBytesAreShownAsHexAndEverythingElseStays) {
    EXPECT_EQ(visibleText("DISCOVER\n"), "DISCOVER\\x0A");
    EXPECT_EQ(visibleText("a\r\nb\x1b[2Jc\x7f"), "a\\x0D\\x0Ab\\x1B[2Jc\\x7F");
    EXPECT_EQ(visibleText(std::string("\0\x1f", 2)), "\\x00\\x1F");
    EXPECT_EQ(visibleText("caf\xe9 \\x41 ~"), "caf\xe9 \\x41 ~") << "Latin-1 letters and backslashes stay";
    EXPECT_EQ(visibleText(""), "");
}

TEST(VisibleText, OnlyControlBytesCount) {
    EXPECT_TRUE(hasControlBytes("a\tb"));
    EXPECT_TRUE(hasControlBytes("\x7f"));
    EXPECT_FALSE(hasControlBytes("plain text \xe9\xff"));
    EXPECT_FALSE(hasControlBytes(""));
}
