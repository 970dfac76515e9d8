// The reply time-out as a deadline: it holds for a reply that is still arriving.
#include "tests/controller/engine_fixture.h"

namespace tarrow::ctrl::test {
namespace {

// A reply that trickles in, one byte just inside every quiet period, never goes quiet: the
// reply time-out must still end it, and it must not count as a reply.
TEST_F(ControlEngineTest, TrickledReplyIsDroppedAtTheReplyTimeout) {
    settings.replyTimeoutMs = 5'000;
    settings.replyQuietMs = 50;
    start();
    Client& c = connect("127.0.0.1:1001");
    reply(c, "R0");
    std::int64_t elapsedMs = 0;
    while (c.link.closes == 0 && elapsedMs < 8'000) {
        clock.advanceMs(30);
        elapsedMs += 30;
        engine->poll();
        reply(c, "x");
    }
    EXPECT_EQ(c.link.closes, 1);
    EXPECT_LE(elapsedMs, 5'030) << "dropped at the first byte past the deadline";
    EXPECT_EQ(stats.droppedTimedOut, 1u);
    EXPECT_TRUE(sink.rows.empty()) << "a late reply is no reply";
    ASSERT_EQ(sink.leases.size(), 1u);
    EXPECT_EQ(sink.leases[0].why, LeaseEnd::TimedOut);
}

// The boundary: an error reply whose last byte comes before the deadline is a reply, even
// when its quiet period ends after the deadline.
TEST_F(ControlEngineTest, ErrorReplyEndingBeforeTheDeadlineCounts) {
    settings.replyTimeoutMs = 5'000;
    settings.replyQuietMs = 50;
    start();
    Client& c = connect("127.0.0.1:1001");
    clock.advanceMs(4'990);
    reply(c, "R0late but in time");
    clock.advanceMs(50);
    engine->poll();
    EXPECT_EQ(c.link.closes, 0);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].replyUs, 4'990'000);
    EXPECT_EQ(sink.rows[0].message, "late but in time");
}

}  // namespace
}  // namespace tarrow::ctrl::test
