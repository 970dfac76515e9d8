// Buffer text and the pseudo-random generator: the small pieces the controller link builds on.
#include <gtest/gtest.h>

#include <string>

#include "client/net/buffer_text.h"
#include "client/ui/pseudo_random.h"

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

TEST(PseudoRandom, SameSeedSameSequenceOfNonNegativeNumbersBelow2To31) {
    tarrow::PseudoRandom a(1700000000U);
    tarrow::PseudoRandom b(1700000000U);
    tarrow::PseudoRandom c(1700000001U);
    bool differs = false;
    for (int i = 0; i < 10000; ++i) {
        const std::int32_t x = a.next();
        ASSERT_GE(x, 0);
        ASSERT_EQ(x, b.next());
        differs = differs || x != c.next();
    }
    EXPECT_TRUE(differs);
}

TEST(PseudoRandom, ReseedingRestartsTheSequence) {
    tarrow::PseudoRandom a(42U);
    const std::int32_t first = a.next();
    a.next();
    a.seed(42U);
    EXPECT_EQ(a.next(), first);
}

TEST(PseudoRandom, SpreadsOverSmallRanges) {
    // Delays are drawn modulo small bounds; every value of 1..5 must come up.
    tarrow::PseudoRandom a(7U);
    int seen[5] = {};
    for (int i = 0; i < 1000; ++i) ++seen[a.next() % 5];
    for (int count : seen) EXPECT_GT(count, 100);
}

}  // namespace
