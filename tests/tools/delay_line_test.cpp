#include "tools/delay_relay/delay_line.h"

#include <gtest/gtest.h>

namespace tarrow::relay {
namespace {

constexpr std::int64_t kDelayUs = 20'000;

TEST(DelayLine, HoldsEachChunkForTheDelayAndKeepsTheOrder) {
    DelayLine line(kDelayUs, 1 << 20);
    line.push(1'000, "bind");
    line.push(5'000, "whoami");
    EXPECT_EQ(line.nextDueUs(), 21'000);
    EXPECT_TRUE(line.ready(20'999).empty());
    EXPECT_EQ(line.ready(21'000), "bind");
    line.consume(4);
    EXPECT_TRUE(line.ready(21'000).empty()) << "the second chunk came 4 ms later and is held 4 ms longer";
    EXPECT_EQ(line.nextDueUs(), 25'000);
    EXPECT_EQ(line.ready(25'000), "whoami");
    line.consume(6);
    EXPECT_EQ(line.nextDueUs(), -1);
    EXPECT_EQ(line.queuedBytes(), 0u);
}

TEST(DelayLine, PartialWritesLeaveTheRestOfTheChunkInFront) {
    DelayLine line(0, 1 << 20);
    line.push(0, "abcdef");
    line.push(0, "gh");
    line.consume(4);
    EXPECT_EQ(line.ready(0), "ef");
    EXPECT_EQ(line.queuedBytes(), 4u);
    line.consume(3);  // across the chunk boundary
    EXPECT_EQ(line.ready(0), "h");
}

TEST(DelayLine, TheEndNeverOvertakesTheBytesBeforeIt) {
    DelayLine line(kDelayUs, 1 << 20);
    line.push(0, "unbind");
    line.pushEnd(0);
    line.push(1, "after the end");  // a broken source: ignored
    EXPECT_FALSE(line.endReady(kDelayUs)) << "the bytes are still held";
    line.consume(line.ready(kDelayUs).size());
    EXPECT_TRUE(line.endReady(kDelayUs));
    EXPECT_EQ(line.queuedBytes(), 0u);
}

TEST(DelayLine, AnEndAloneIsHeldForTheDelayToo) {
    DelayLine line(kDelayUs, 1 << 20);
    line.pushEnd(100);
    EXPECT_EQ(line.nextDueUs(), 100 + kDelayUs);
    EXPECT_FALSE(line.endReady(100 + kDelayUs - 1));
    EXPECT_TRUE(line.endReady(100 + kDelayUs));
}

TEST(DelayLine, FullAtTheBoundSoThatTheReaderPauses) {
    DelayLine line(kDelayUs, 10);
    line.push(0, "123456789");
    EXPECT_FALSE(line.full());
    line.push(0, "0");
    EXPECT_TRUE(line.full());
    line.consume(line.ready(kDelayUs).size());
    EXPECT_FALSE(line.full());
}

TEST(DelayLine, NegativeDelayIsNoDelayAndEmptyPushesAreNothing) {
    DelayLine line(-5, 100);
    line.push(7, "");
    EXPECT_EQ(line.nextDueUs(), -1);
    line.push(7, "x");
    EXPECT_EQ(line.ready(7), "x");
}

}  // namespace
}  // namespace tarrow::relay
