// Text as a zero-terminated link buffer holds it.
#include <gtest/gtest.h>

#include <string>

#include "common/buffer_text.h"

namespace {

TEST(BufferText, StopsAtFirstZeroByteAndCutsToBufferMinusTerminator) {
    EXPECT_EQ(tarrow::bufferText(std::string("DISCOVER\0xyz", 12)), "DISCOVER");
    EXPECT_EQ(tarrow::bufferText(""), "");
    EXPECT_EQ(tarrow::bufferText(std::string(1499, 'a')).size(), 1499U);
    EXPECT_EQ(tarrow::bufferText(std::string(1500, 'a')).size(), 1499U);
    EXPECT_EQ(tarrow::bufferText(std::string(70000, 'a')).size(), 1499U);
    EXPECT_EQ(tarrow::bufferText("abc", 1), "");
    EXPECT_EQ(tarrow::bufferText("abc", 0), "");
}

}  // namespace
