#include "controller/core/control_engine.h"

#include "tests/controller/engine_fixture.h"

#include <gtest/gtest.h>

namespace tarrow::ctrl::test {
namespace {

TEST_F(ControlEngineTest, PacketsGoOutInFileOrderSharedByAllClientsAndCycle) {
    start();
    Client& a = connect("127.0.0.1:1001");
    Client& b = connect("127.0.0.1:1002");
    reply(a, "R1");
    reply(b, "R1");
    reply(a, "R1");
    ASSERT_EQ(a.link.sent.size(), 3u);
    ASSERT_EQ(b.link.sent.size(), 2u);
    EXPECT_EQ(a.link.sent[0], "Uu1,pw,127.0.0.1,Users.Vantric,srv");
    EXPECT_EQ(b.link.sent[0], "Uu2,pw,127.0.0.1,Users.Vantric,srv");
    EXPECT_EQ(a.link.sent[1].substr(0, 3), "Uu3");
    EXPECT_EQ(b.link.sent[1].substr(0, 3), "Uu1");  // the file starts over
    EXPECT_EQ(a.link.sent[2].substr(0, 3), "Uu2");
}

TEST_F(ControlEngineTest, SendsOnePacketPerReplyAndRecordsIt) {
    start();
    Client& a = connect("127.0.0.1:1001");
    clock.advanceMs(30'000);
    EXPECT_EQ(a.link.sent.size(), 1u) << "no second packet before the reply";
    reply(a, "R1");
    EXPECT_EQ(a.link.sent.size(), 2u);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].client, "127.0.0.1:1001");
    EXPECT_EQ(sink.rows[0].user, "u1");
    EXPECT_EQ(sink.rows[0].kind, ReplyKind::Success);
    EXPECT_EQ(sink.rows[0].replyUs, 30'000'000);
    reply(a, "R-9999");
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[1].kind, ReplyKind::Failed);
    EXPECT_EQ(sink.rows[1].code, -9999);
    EXPECT_EQ(stats.ok, 1u);
    EXPECT_EQ(stats.failed, 1u);
    EXPECT_EQ(stats.packetsSent, 3u);
}

TEST_F(ControlEngineTest, ErrorReplySplitAcrossReadsIsJoinedAfterTheQuietPeriod) {
    start();
    Client& a = connect("127.0.0.1:1001");
    clock.advanceMs(100);
    reply(a, "R0login() - ");
    clock.advanceMs(settings.replyQuietMs - 1);
    engine->poll();
    EXPECT_TRUE(sink.rows.empty()) << "still inside the quiet period";
    reply(a, "-601");
    clock.advanceMs(settings.replyQuietMs);
    engine->poll();
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].kind, ReplyKind::Error);
    EXPECT_EQ(sink.rows[0].message, "login() - -601");
    // Reply time runs to the last byte, not to the end of the quiet period.
    EXPECT_EQ(sink.rows[0].replyUs, (100 + settings.replyQuietMs - 1) * 1000);
    EXPECT_EQ(a.link.sent.size(), 2u);
    EXPECT_EQ(stats.errorMessages.counts().at("login() - -601"), 1u);
}

TEST_F(ControlEngineTest, CodeReplySplitAfterTheSignIsJoined) {
    start();
    Client& a = connect("127.0.0.1:1001");
    reply(a, "R-");
    reply(a, "10000");
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].code, -10000);
    EXPECT_EQ(a.link.sent.size(), 2u);
}

TEST_F(ControlEngineTest, GarbageDropsThatClientOnlyAndItsLateBytesAreIgnored) {
    start();
    Client& a = connect("127.0.0.1:1001");
    Client& b = connect("127.0.0.1:1002");
    reply(a, "HELLO");
    EXPECT_EQ(a.link.closes, 1);
    reply(a, "R1");  // after the drop: ignored
    engine->disconnected(a.id);
    reply(b, "R1");
    EXPECT_EQ(b.link.sent.size(), 2u);
    EXPECT_EQ(engine->clientCount(), 1u);
    EXPECT_EQ(stats.droppedNotAReply, 1u);
    EXPECT_EQ(stats.lostPackets, 1u);
    EXPECT_EQ(stats.replies(), 1u);
    ASSERT_FALSE(notices.empty());
    EXPECT_EQ(notices.back(), "dropped 127.0.0.1:1001: not a reply packet");
}

TEST_F(ControlEngineTest, MalformedRepliesAreNotReplies) {
    start();
    for (std::string_view bad : {"R12x", "R-0", "R01"}) {
        Client& c = connect("127.0.0.1:2000");
        reply(c, bad);
        clock.advanceMs(settings.replyQuietMs);
        engine->poll();
        EXPECT_EQ(c.link.closes, bad == "R01" ? 0 : 1) << bad;
    }
    // "R01" is the error reply with the message "1"; "R" alone never completes.
    Client& d = connect("127.0.0.1:2001");
    reply(d, "R");
    clock.advanceMs(settings.replyQuietMs);
    engine->poll();
    EXPECT_EQ(d.link.closes, 1);
    Client& e = connect("127.0.0.1:2002");
    reply(e, "R0" + std::string(kMaxReplyBytes - 1, 'x'));
    EXPECT_EQ(e.link.closes, 1) << "longer than 1499 bytes";
}

TEST_F(ControlEngineTest, SilentClientIsDroppedAtTheReplyTimeout) {
    settings.replyTimeoutMs = 150'000;
    start();
    Client& slow = connect("127.0.0.1:1001");
    clock.advanceMs(100'000);
    Client& fresh = connect("127.0.0.1:1002");
    clock.advanceMs(49'999);
    engine->poll();
    EXPECT_EQ(slow.link.closes, 0);
    clock.advanceMs(1);
    engine->poll();
    EXPECT_EQ(slow.link.closes, 1);
    EXPECT_EQ(fresh.link.closes, 0);
    EXPECT_EQ(stats.droppedTimedOut, 1u);
    reply(fresh, "R1");  // a reply restarts its clock
    clock.advanceMs(149'000);
    engine->poll();
    EXPECT_EQ(fresh.link.closes, 0);
}

TEST_F(ControlEngineTest, CountHoldsBackSurplusPacketsAndStopsClosingEveryone) {
    settings.stopAfterReplies = 3;
    start();
    Client& a = connect("127.0.0.1:1001");
    Client& b = connect("127.0.0.1:1002");
    Client& c = connect("127.0.0.1:1003");
    Client& d = connect("127.0.0.1:1004");
    EXPECT_EQ(d.link.sent.size(), 0u) << "three packets already cover three replies";
    reply(d, "R1");
    EXPECT_EQ(d.link.closes, 1) << "bytes with no packet outstanding";
    Client& e = connect("127.0.0.1:1005");
    engine->disconnected(c.id);  // its packet is lost: the waiting client gets one
    EXPECT_EQ(e.link.sent.size(), 1u);
    reply(a, "R1");
    reply(b, "R0oops");
    EXPECT_FALSE(engine->stopped());
    reply(e, "R1");
    EXPECT_FALSE(engine->stopped()) << "b's error reply is still in its quiet period";
    clock.advanceMs(settings.replyQuietMs);
    engine->poll();
    EXPECT_TRUE(engine->stopped());
    EXPECT_EQ(stats.replies(), 3u);
    EXPECT_EQ(a.link.closes + b.link.closes + e.link.closes, 3);
    EXPECT_EQ(engine->clientCount(), 0u);
    EXPECT_EQ(engine->stopReason(), "--count 3 replies reached");
    EXPECT_FALSE(engine->accepting());
    RecordingLink late;
    EXPECT_EQ(engine->connected(late, "127.0.0.1:1006"), 0u);
}

TEST_F(ControlEngineTest, DurationStopsTheRun) {
    settings.stopAfterMs = 10'000;
    start();
    Client& a = connect("127.0.0.1:1001");
    clock.advanceMs(9'999);
    engine->poll();
    EXPECT_FALSE(engine->stopped());
    clock.advanceMs(1);
    engine->poll();
    EXPECT_TRUE(engine->stopped());
    EXPECT_EQ(a.link.closes, 1);
    EXPECT_EQ(stats.lostPackets, 1u);
}

TEST_F(ControlEngineTest, ErrorReplyFollowedByCloseStillCounts) {
    start();
    Client& a = connect("127.0.0.1:1001");
    reply(a, "R0bye");
    engine->disconnected(a.id);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].message, "bye");
    EXPECT_EQ(stats.lostPackets, 0u);
    EXPECT_EQ(stats.disconnected, 1u);
}

TEST_F(ControlEngineTest, ConnectionsBeyondMaxClientsAreRefused) {
    settings.maxClients = 2;
    start();
    connect("127.0.0.1:1001");
    Client& b = connect("127.0.0.1:1002");
    Client& c = connect("127.0.0.1:1003");
    EXPECT_EQ(c.id, 0u);
    EXPECT_TRUE(c.link.sent.empty());
    EXPECT_EQ(stats.refused, 1u);
    engine->disconnected(b.id);
    EXPECT_NE(connect("127.0.0.1:1004").id, 0u);
}

TEST_F(ControlEngineTest, NoticesAreLimitedPerSecond) {
    start();
    for (int i = 0; i < 50; ++i) reply(connect("127.0.0.1:" + std::to_string(3000 + i)), "x");
    EXPECT_EQ(notices.size(), 20u);
    clock.advanceMs(1000);
    reply(connect("127.0.0.1:4000"), "x");
    EXPECT_EQ(notices[20], "(30 more notices not shown)");
}

}  // namespace
}  // namespace tarrow::ctrl::test
