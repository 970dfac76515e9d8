// The client's pseudo-random generator: the delays between workload events are drawn from it.
#include <gtest/gtest.h>

#include <string>

#include "client/ui/pseudo_random.h"

namespace {

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
