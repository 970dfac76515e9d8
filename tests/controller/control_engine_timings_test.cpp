// The engine with the timings extension: the request, a mixed fleet, timed replies.
#include "controller/core/control_engine.h"

#include "tests/controller/engine_fixture.h"

#include <gtest/gtest.h>

namespace tarrow::ctrl::test {
namespace {

using namespace std::string_literals;

class EngineTimingsTest : public ControlEngineTest {
protected:
    void SetUp() override { timingsTest = true; }
    static std::string accept() { return std::string(timings::kAcceptance); }
};

TEST_F(EngineTimingsTest, AcceptingClientGetsItsFirstPacketAtOnceAndTimedRepliesAreTakenWhole) {
    start();
    Client& a = connect("127.0.0.1:1001");
    ASSERT_EQ(a.link.sent.size(), 1u);
    EXPECT_EQ(a.link.sent[0], "Ftarrow-timings/1");
    reply(a, accept());
    ASSERT_EQ(a.link.sent.size(), 2u);
    EXPECT_EQ(a.link.sent[1].substr(0, 3), "Uu1");
    clock.advanceMs(1000);
    // An error reply needs no quiet period: the record's line feed ends it.
    reply(a, "R0login failed\0e=700 l=12 c=100 b=600\n"s);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].message, "login failed");
    EXPECT_EQ(sink.rows[0].replyUs, 1'000'000);
    ASSERT_TRUE(sink.timed[0]);
    EXPECT_EQ(sink.timings[0].executeUs, 700);
    EXPECT_EQ(sink.timings[0].lagUs, 12);
    EXPECT_FALSE(sink.timings[0].phases.has(LoginPhase::Verify)) << "not reached";
    EXPECT_EQ(sink.timings[0].phases.of(LoginPhase::Bind), 600);
    EXPECT_EQ(a.link.sent.size(), 3u);
    EXPECT_EQ(stats.logins.latencies.execute.count(), 1u);
    EXPECT_EQ(stats.perClient.at("127.0.0.1:1001").timings, TimingsSupport::Reporting);
}

TEST_F(EngineTimingsTest, ReplyAndRecordSplitAnywhereAreJoined) {
    start();
    Client& a = connect("127.0.0.1:1001");
    const std::string whole = accept() + "R1\0e=500 b=400\n"s;
    for (char byte : whole) reply(a, std::string(1, byte));
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].kind, ReplyKind::Success);
    EXPECT_EQ(sink.timings[0].executeUs, 500);
    EXPECT_EQ(a.link.closes, 0);
}

TEST_F(EngineTimingsTest, ClientThatIgnoresTheRequestGetsItsPacketAfterTheWaitAndPlainReplies) {
    settings.timingsWaitMs = 250;
    start();
    Client& plain = connect("127.0.0.1:1001");
    clock.advanceMs(249);
    engine->poll();
    EXPECT_EQ(plain.link.sent.size(), 1u) << "still waiting for an acceptance";
    clock.advanceMs(1);
    engine->poll();
    ASSERT_EQ(plain.link.sent.size(), 2u);
    reply(plain, "R1");  // complete at once, as without the extension
    EXPECT_EQ(sink.rows.size(), 1u);
    EXPECT_FALSE(sink.timed[0]);
    reply(plain, "R0no");
    clock.advanceMs(settings.replyQuietMs);
    engine->poll();
    ASSERT_EQ(sink.rows.size(), 2u);
    EXPECT_EQ(sink.rows[1].message, "no");
    EXPECT_EQ(stats.clientsAsked, 1u);
    EXPECT_EQ(stats.clientsReporting, 0u);
    EXPECT_EQ(stats.perClient.at("127.0.0.1:1001").timings, TimingsSupport::Asked);
}

TEST_F(EngineTimingsTest, LateAcceptanceBeforeTheFirstReplyStillCounts) {
    start();
    Client& slow = connect("127.0.0.1:1001");
    clock.advanceMs(settings.timingsWaitMs);
    engine->poll();
    ASSERT_EQ(slow.link.sent.size(), 2u);
    // The client read request and packet together, accepted, then replied.
    reply(slow, accept() + "R1\0e=9\n"s);
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_TRUE(sink.timed[0]);
    EXPECT_EQ(stats.clientsReporting, 1u);
}

TEST_F(EngineTimingsTest, BadAcceptanceOrRecordDropsTheClient) {
    start();
    Client& wrong = connect("127.0.0.1:1001");
    reply(wrong, "\0tarrow-timings/9\n"s);
    EXPECT_EQ(wrong.link.closes, 1);
    Client& eager = connect("127.0.0.1:1002");
    reply(eager, accept() + "R1");  // a reply before any packet
    EXPECT_EQ(eager.link.closes, 1);
    Client& bad = connect("127.0.0.1:1003");
    reply(bad, accept());
    reply(bad, "R1\0e=x\n"s);
    EXPECT_EQ(bad.link.closes, 1);
    Client& trailing = connect("127.0.0.1:1004");
    reply(trailing, accept());
    reply(trailing, "R1\0e=1\nR1"s);
    EXPECT_EQ(trailing.link.closes, 1);
    EXPECT_EQ(stats.replies(), 0u);
    EXPECT_EQ(stats.lostPackets, 2u) << "two of them held a lease";
}

TEST_F(EngineTimingsTest, ReportingClientsBareReplyIsTakenAfterTheQuietPeriodWithoutTimings) {
    start();
    Client& a = connect("127.0.0.1:1001");
    reply(a, accept());
    reply(a, "R1");
    EXPECT_TRUE(sink.rows.empty()) << "its record may still come";
    clock.advanceMs(settings.replyQuietMs);
    engine->poll();
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_FALSE(sink.timed[0]);
    EXPECT_EQ(stats.untimedReplies, 1u);
    // A partial record is not a reply: the lease ends indeterminate.
    reply(a, "R1\0e=5"s);
    clock.advanceMs(settings.replyQuietMs);
    engine->poll();
    EXPECT_EQ(a.link.closes, 1);
    EXPECT_EQ(stats.lostPackets, 1u);
}

TEST_F(EngineTimingsTest, NoTimingsSendsNoRequest) {
    settings.askTimings = false;
    start();
    Client& a = connect("127.0.0.1:1001");
    ASSERT_EQ(a.link.sent.size(), 1u);
    EXPECT_EQ(a.link.sent[0].front(), 'U');
    EXPECT_EQ(stats.clientsAsked, 0u);
}

// Leases: every packet sent ends exactly once, as a reply or as an indeterminate login.
class EngineLeaseTest : public ControlEngineTest {
protected:
    // Stops the run first: what is still out then ends too.
    void expectEveryPacketAccountedFor() {
        engine->stop("end of test");
        EXPECT_EQ(stats.packetsSent, stats.replies() + stats.lostPackets);
        EXPECT_EQ(sink.rows.size() + sink.leases.size(), stats.packetsSent);
    }
};

TEST_F(EngineLeaseTest, ClientGoneWithALeaseIsOneIndeterminateLoginNamedWithUserAndClient) {
    start();
    Client& a = connect("127.0.0.1:1001");
    Client& b = connect("127.0.0.1:1002");
    engine->disconnected(a.id);
    ASSERT_EQ(sink.leases.size(), 1u);
    EXPECT_EQ(sink.leases[0].user, "u1");
    EXPECT_EQ(sink.leases[0].client, "127.0.0.1:1001");
    EXPECT_EQ(sink.leases[0].why, LeaseEnd::ConnectionClosed);
    EXPECT_TRUE(sink.leases[0].handedAgain);
    ASSERT_EQ(stats.indeterminateLogins.size(), 1u);
    EXPECT_EQ(stats.indeterminateLogins[0].user, "u1");
    EXPECT_EQ(stats.perClient.at("127.0.0.1:1001").indeterminate, 1u);
    EXPECT_EQ(stats.ok + stats.failed + stats.errors, 0u) << "neither a success nor a failure";
    // The credential goes out again with the next packet, before the file goes on.
    reply(b, "R1");
    ASSERT_EQ(b.link.sent.size(), 2u);
    EXPECT_EQ(b.link.sent[1].substr(0, 3), "Uu1");
    reply(b, "R1");
    EXPECT_EQ(b.link.sent[2].substr(0, 3), "Uu3");
    expectEveryPacketAccountedFor();
}

TEST_F(EngineLeaseTest, ACredentialIsHandedOutAgainOnlyOnce) {
    start();
    Client& a = connect("127.0.0.1:1001");  // u1
    engine->disconnected(a.id);
    Client& b = connect("127.0.0.1:1002");  // u1 again
    EXPECT_EQ(b.link.sent[0].substr(0, 3), "Uu1");
    clock.advanceMs(settings.replyTimeoutMs);
    engine->poll();  // b times out with it as well
    ASSERT_EQ(sink.leases.size(), 2u);
    EXPECT_EQ(sink.leases[1].why, LeaseEnd::TimedOut);
    EXPECT_FALSE(sink.leases[1].handedAgain);
    Client& c = connect("127.0.0.1:1003");
    EXPECT_EQ(c.link.sent[0].substr(0, 3), "Uu2") << "the line is not handed out a third time";
    EXPECT_EQ(stats.handedAgain, 1u);
    expectEveryPacketAccountedFor();
}

TEST_F(EngineLeaseTest, CountMeansAnsweredLoginsWhateverIsLost) {
    settings.stopAfterReplies = 2;
    start();
    Client& a = connect("127.0.0.1:1001");
    Client& b = connect("127.0.0.1:1002");
    Client& c = connect("127.0.0.1:1003");
    EXPECT_TRUE(c.link.sent.empty());
    engine->disconnected(a.id);  // lost: c takes the slot, with a's credential
    ASSERT_EQ(c.link.sent.size(), 1u);
    EXPECT_EQ(c.link.sent[0].substr(0, 3), "Uu1");
    reply(b, "HELLO");  // dropped: lost as well, nobody left to take it
    Client& d = connect("127.0.0.1:1004");
    EXPECT_EQ(d.link.sent.size(), 1u);
    reply(c, "R1");
    EXPECT_FALSE(engine->stopped());
    reply(d, "R-9999");
    EXPECT_TRUE(engine->stopped());
    EXPECT_EQ(stats.replies(), 2u);
    EXPECT_EQ(stats.lostPackets, 2u);
    expectEveryPacketAccountedFor();
}

TEST_F(EngineLeaseTest, LeasesOpenAtTheStopAreIndeterminateAndNotHandedAgain) {
    start();
    Client& a = connect("127.0.0.1:1001");
    connect("127.0.0.1:1002");
    reply(a, "R0half");  // in its quiet period when the run stops
    engine->stop("SIGINT received");
    ASSERT_EQ(sink.leases.size(), 2u);
    for (const auto& l : sink.leases) {
        EXPECT_EQ(l.why, LeaseEnd::RunStopped);
        EXPECT_FALSE(l.handedAgain);
    }
    expectEveryPacketAccountedFor();
}

// A long random mix of replies, splits, garbage, closes and time-outs never loses a packet.
TEST_F(EngineLeaseTest, EveryPacketIsAccountedForExactlyOnceInARandomMix) {
    timingsTest = true;
    settings.stopAfterReplies = 500;
    start();
    std::uint32_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    std::vector<Client*> live;
    int port = 3000;
    while (!engine->stopped()) {
        if (live.size() < 20) live.push_back(&connect("127.0.0.1:" + std::to_string(port++)));
        Client& c = *live[next() % live.size()];
        switch (next() % 10) {
        case 0:
            engine->disconnected(c.id);
            ++c.link.closes;  // gone: not picked again
            break;
        case 1: reply(c, "junk"); break;
        case 2: reply(c, std::string(timings::kAcceptance)); break;
        case 3: reply(c, "R0err"); break;
        case 4: reply(c, "R1\0e=5\n"s); break;
        default: reply(c, "R1"); break;
        }
        clock.advanceMs(next() % 200);
        if (next() % 50 == 0) clock.advanceMs(settings.replyTimeoutMs);
        engine->poll();
        std::erase_if(live, [](Client* x) { return x->link.closes > 0; });
        ASSERT_LT(port, 100'000) << "the run does not come to its count";
    }
    EXPECT_EQ(stats.replies(), 500u);
    EXPECT_GT(stats.lostPackets, 0u);
    expectEveryPacketAccountedFor();
}

}  // namespace
}  // namespace tarrow::ctrl::test
