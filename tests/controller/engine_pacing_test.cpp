// The controller at a chosen rate, with virtual time and in-memory clients: the schedule
// extension's negotiation, due times, logins going round the free clients, the wait when all
// are busy, a client lost holding a login, and a fleet where some clients are not paced.
#include "common/load/rate_curve.h"
#include "common/schedule_extension.h"
#include "controller/core/ctrl_settings.h"
#include "controller/core/json_report.h"

#include "tests/controller/engine_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace tarrow::ctrl::test {
namespace {

using namespace std::string_literals;

class EnginePacingTest : public ControlEngineTest {
protected:
    void SetUp() override { timingsTest = true; }

    void startAt(double perSecond, double seconds = load::kMaxStepSeconds) {
        load::LoadPlan plan;
        plan.curve = {{perSecond, seconds}};
        settings.pace = plan;
        start(usersNamed({"u1", "u2", "u3", "u4", "u5", "u6"}));
    }
    // A client that accepts both extensions at once.
    Client& pacedClient(const std::string& peer) {
        Client& c = connect(peer);
        reply(c, std::string(timings::kAcceptance));
        EXPECT_EQ(c.link.sent.back(), schedule::kRequestPacket);
        reply(c, std::string(schedule::kAcceptance));
        return c;
    }
    // Moves virtual time forward a millisecond at a time, as the event loop polls.
    void runMs(int ms) {
        for (int i = 0; i < ms; ++i) {
            clock.advanceMs(1);
            engine->poll();
        }
    }
    static std::size_t credentialsSent(const Client& c) {
        std::size_t n = 0;
        for (const std::string& p : c.link.sent) n += p.front() == 'U';
        return n;
    }
    static std::string timedReply(int executeUs, int lagUs) {
        return "R1\0e="s + std::to_string(executeUs) + " l=" + std::to_string(lagUs) + "\n";
    }
};

TEST_F(EnginePacingTest, WithoutARateTheScheduleRequestIsNeverSent) {
    start();
    Client& a = connect("127.0.0.1:1001");
    reply(a, std::string(timings::kAcceptance));
    ASSERT_EQ(a.link.sent.size(), 2u);
    EXPECT_EQ(a.link.sent[1].substr(0, 3), "Uu1")
        << "the first packet follows the timings acceptance at once";
    EXPECT_EQ(engine->pacer(), nullptr);
}

TEST_F(EnginePacingTest, DueLoginsGoRoundTheFreeClientsAndAreTimedFromTheirDueTime) {
    startAt(10);  // one login every 100 ms
    Client& a = pacedClient("10.0.0.1:1");
    Client& b = pacedClient("10.0.0.2:1");
    Client& c = pacedClient("10.0.0.3:1");
    // The schedule started with the first client: its first login is due at once.
    ASSERT_EQ(credentialsSent(a), 1u);
    EXPECT_EQ(credentialsSent(b), 0u);
    std::vector<Client*> order;
    for (int login = 0; login < 6; ++login) {
        for (Client* x : {&a, &b, &c}) {
            if (!x->link.sent.empty() && x->link.sent.back().front() == 'U' &&
                credentialsSent(*x) > static_cast<std::size_t>(std::count(order.begin(), order.end(), x))) {
                order.push_back(x);
                runMs(5);
                reply(*x, timedReply(3000, 40));
            }
        }
        runMs(95);
    }
    ASSERT_GE(order.size(), 6u);
    const std::vector<Client*> expected{&a, &b, &c, &a, &b, &c};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), order.begin())) << "round the free clients";
    const FleetPacer& pacer = *engine->pacer();
    EXPECT_EQ(pacer.waited(), 0u);
    EXPECT_FALSE(pacer.fleetTooSmall());
    // Each went out when due (the poll is 1 ms), so its latency is the client's lag and login.
    EXPECT_LE(pacer.timeline().latency().max(), 3040 + 1000 + 30);
    EXPECT_GE(pacer.timeline().latency().min(), 3040);
    EXPECT_EQ(pacer.timeline().service().max(), 3000);
}

TEST_F(EnginePacingTest, ALoginDueWhileEveryClientIsBusyWaitsAndTheWaitIsItsLatency) {
    startAt(10);
    Client& a = pacedClient("10.0.0.1:1");
    ASSERT_EQ(credentialsSent(a), 1u);
    runMs(250);  // the login holds the only client past the next due time (100 ms)
    EXPECT_EQ(credentialsSent(a), 1u);
    reply(a, timedReply(1000, 10));
    ASSERT_EQ(credentialsSent(a), 2u) << "the waiting login goes out with the reply";
    runMs(2);
    reply(a, timedReply(1000, 10));
    const FleetPacer& pacer = *engine->pacer();
    EXPECT_EQ(pacer.waited(), 2u) << "due at 100 and 200 ms, both while the client was busy";
    EXPECT_EQ(pacer.taken(), 3u);
    EXPECT_TRUE(pacer.fleetTooSmall());
    // Due at 100 ms, sent at 250 ms: 150 ms of wait, then the client's 10 us lag and 1 ms login.
    EXPECT_NEAR(static_cast<double>(pacer.timeline().latency().max()), 151'010, 151'010 * 0.008);
    EXPECT_NEAR(static_cast<double>(pacer.timeline().scheduleLag().max()), 150'010, 150'010 * 0.008);
    EXPECT_EQ(pacer.timeline().service().max(), 1000);
    // A third login was due at 200 ms too: it waits for the second reply.
    EXPECT_EQ(credentialsSent(a), 3u);
    EXPECT_TRUE(pacer.stalls().empty()) << "no wait of a second";
}

TEST_F(EnginePacingTest, ASecondOrMoreWithoutAFreeClientIsAStallInTheReport) {
    startAt(10);
    Client& a = pacedClient("10.0.0.1:1");
    runMs(3000);  // the directory holds the only client's login for 3 s
    reply(a, timedReply(3'000'000, 10));
    for (int i = 0; i < 40; ++i) {  // the waiting logins go out one by one, then the schedule
        runMs(1);
        reply(a, timedReply(500, 5));
    }
    runMs(1000);
    const FleetPacer& pacer = *engine->pacer();
    ASSERT_EQ(pacer.stalls().size(), 1u);
    const auto stall = pacer.loadJson(clock.monotonicUs())["stalls"][0];
    EXPECT_DOUBLE_EQ(stall["from_t_s"].get<double>(), 0.1) << "the first login that found no client";
    // The last of them (due at 2.0 s) went out with the 20th reply after the stall.
    EXPECT_NEAR(stall["to_t_s"].get<double>(), 3.02, 0.002);
    EXPECT_EQ(stall["logins"], 20) << "due at 0.1 to 2.0 s, each waiting a second or more";
    EXPECT_NEAR(stall["longest_wait_us"].get<double>(), 2'900'000, 2000);
}

TEST_F(EnginePacingTest, AClientLostHoldingALoginLeavesItIndeterminateAndTheRateGoesOn) {
    startAt(10);
    Client& a = pacedClient("10.0.0.1:1");
    Client& b = pacedClient("10.0.0.2:1");
    ASSERT_EQ(credentialsSent(a), 1u);
    engine->disconnected(a.id);
    ASSERT_EQ(sink.leases.size(), 1u);
    EXPECT_EQ(sink.leases[0].user, "u1");
    EXPECT_TRUE(sink.leases[0].handedAgain);
    EXPECT_EQ(engine->pacer()->lostLogins(), 1u);
    runMs(100);
    ASSERT_EQ(credentialsSent(b), 1u) << "the next due login goes to the client left";
    EXPECT_EQ(b.link.sent.back().substr(0, 3), "Uu1") << "the lost credential goes out again";
    reply(b, timedReply(500, 5));
    runMs(100);
    EXPECT_EQ(credentialsSent(b), 2u);
    EXPECT_EQ(stats.lostPackets, 1u);
}

TEST_F(EnginePacingTest, ClientsThatDoNotAcceptKeepTheirOwnPaceAndAreCountedApart) {
    settings.timingsWaitMs = 250;
    startAt(10);
    Client& paced = pacedClient("10.0.0.1:1");
    Client& older = connect("10.0.0.2:1");  // takes timings, ignores the schedule request
    reply(older, std::string(timings::kAcceptance));
    Client& described = connect("10.0.0.3:1");  // ignores both
    runMs(250);
    ASSERT_EQ(credentialsSent(older), 1u) << "after the wait, as without a rate";
    ASSERT_EQ(credentialsSent(described), 1u);
    reply(older, timedReply(700, 900'000));
    EXPECT_EQ(credentialsSent(older), 2u) << "its next packet at once: it keeps its own delays";
    reply(described, "R1");
    runMs(60);  // the described reply's quiet period
    EXPECT_EQ(credentialsSent(described), 2u);
    reply(paced, timedReply(500, 5));
    const FleetPacer& pacer = *engine->pacer();
    EXPECT_EQ(pacer.timeline().latency().count(), 1u) << "only the paced login is timed from due";
    const auto load = pacer.loadJson(clock.monotonicUs());
    EXPECT_EQ(load["fleet"]["unpaced_replies"], 2);
    EXPECT_EQ(load["fleet"]["unpaced_clients_most"], 2);
    EXPECT_EQ(load["fleet"]["paced_clients_most"], 1);
    EXPECT_EQ(load["fleet"]["unpaced_execute_p50_us"], 700);
    EXPECT_EQ(stats.replies(), 3u) << "the totals count every reply";
}

TEST_F(EnginePacingTest, AnAcceptanceSplitAnywhereIsJoinedAndAWrongOneDropsTheClient) {
    startAt(10);
    Client& a = connect("10.0.0.1:1");
    reply(a, std::string(timings::kAcceptance));
    for (char byte : std::string(schedule::kAcceptance)) reply(a, std::string(1, byte));
    EXPECT_EQ(credentialsSent(a), 1u);
    Client& b = connect("10.0.0.2:1");
    reply(b, std::string(timings::kAcceptance));
    reply(b, "\0tarrow-schedule/9\n"s);
    EXPECT_EQ(b.link.closes, 1);
}

TEST_F(EnginePacingTest, ACurveThatEndsStopsTheRunOnceItsLoginsAreBack) {
    startAt(10, 0.35);  // logins due at 0, 100, 200 and 300 ms
    Client& a = pacedClient("10.0.0.1:1");
    for (int i = 0; i < 4; ++i) {
        runMs(2);
        reply(a, timedReply(500, 5));
        runMs(98);
    }
    runMs(100);
    EXPECT_TRUE(engine->stopped());
    EXPECT_EQ(engine->stopReason(), "the rate curve ended");
    EXPECT_EQ(stats.replies(), 4u);
}

TEST_F(EnginePacingTest, CountStopsAPacedRunAtItsReplies) {
    settings.stopAfterReplies = 2;
    startAt(100);
    Client& a = pacedClient("10.0.0.1:1");
    Client& b = pacedClient("10.0.0.2:1");
    runMs(10);
    reply(a, timedReply(500, 5));
    reply(b, timedReply(500, 5));
    EXPECT_TRUE(engine->stopped());
    EXPECT_EQ(stats.packetsSent, 2u);
}

TEST_F(EnginePacingTest, ThePacedReportIsTimedFromDueAndEveryKeyIsDocumented) {
    startAt(10);
    Client& a = pacedClient("10.0.0.1:1");
    runMs(3);
    reply(a, timedReply(2000, 30));
    stats.finish(clock.monotonicUs() - engine->startUs());
    ReportContext context;
    context.pacer = engine->pacer();
    context.pacedUntilUs = clock.monotonicUs();
    const auto json = nlohmann::json::parse(reportJson(stats, context));
    EXPECT_EQ(json["service_us"]["max"], 2000);
    EXPECT_EQ(json["latency_us"]["count"], 1);
    EXPECT_GE(json["latency_us"]["max"], 2030);
    EXPECT_EQ(json["load"]["seconds"][0]["clients"], 1);
    std::ifstream in(std::string(TARROW_SOURCE_DIR) + "/docs/report.md");
    std::stringstream docs;
    docs << in.rdbuf();
    for (const auto& [key, value] : json["load"]["fleet"].items())
        EXPECT_NE(docs.str().find("`load.fleet." + key + "`"), std::string::npos) << key;
    for (const auto& [key, value] : json["load"]["seconds"][0].items())
        EXPECT_NE(docs.str().find("`load.seconds[]." + key + "`"), std::string::npos) << key;
}

// The rate is judged over the seconds whose logins could all go out: not past the end of the
// run, and not past the first login that --count held back.
TEST(FleetPacerTest, RateHeldStopsWhereTheCountHeldLoginsBack) {
    load::LoadPlan plan;
    plan.curve = {{10, load::kMaxStepSeconds}};
    FleetPacer pacer(plan);
    pacer.start(0);
    timings::LoginTimings t;
    t.executeUs = 1000;
    t.lagUs = 0;
    while (*pacer.nextDueUs() < 2'500'000) {
        const std::int64_t due = *pacer.nextDueUs();
        pacer.ended(pacer.take(due, due), &t, due + 1000);
    }
    // Half of second 2's logins never went out: a shortfall, when nothing held them back.
    EXPECT_EQ(pacer.loadJson(3'000'000)["rate_held"]["full_seconds"], 3);
    EXPECT_EQ(pacer.loadJson(3'000'000)["rate_held"]["lowest_pct"], -50.0);
    pacer.closeAt(1'500'000);
    EXPECT_EQ(pacer.loadJson(3'000'000)["rate_held"]["full_seconds"], 1);
    EXPECT_EQ(pacer.loadJson(3'000'000)["rate_held"]["lowest_pct"], 0.0);
}

TEST(PaceOptions, TheRateOptionsParseAsTheBatchOnesDo) {
    const auto settings = [](std::vector<std::string> args) { return parseCommandLine(args); };
    const auto error = [&](std::vector<std::string> args) {
        const auto parsed = settings(std::move(args));
        return std::holds_alternative<UsageError>(parsed) ? std::get<UsageError>(parsed).message : "";
    };
    EXPECT_EQ(error({"--rate", "0"}), "--rate needs a number of logins per second above 0, at most 1000000");
    EXPECT_EQ(error({"--rate", "5", "--rate-file", "x"}), "--rate and --rate-file exclude each other");
    EXPECT_EQ(error({"--arrivals", "poisson"}), "--arrivals needs --rate or --rate-file");
    EXPECT_EQ(error({"--rate", "5", "--arrivals", "bursty"}), "--arrivals needs even or poisson");
    EXPECT_EQ(error({"--rate-file", "/nonexistent/curve"}).rfind("--rate-file: ", 0), 0u);
    EXPECT_NE(error({"--rate", "5", "--no-timings"}), "");
    const auto ok = settings({"--rate", "500", "--count", "10", "--arrivals", "poisson", "--seed", "7"});
    ASSERT_TRUE(std::holds_alternative<CtrlSettings>(ok));
    const CtrlSettings& s = std::get<CtrlSettings>(ok);
    ASSERT_TRUE(s.pace);
    EXPECT_EQ(s.pace->curve[0].perSecond, 500);
    EXPECT_EQ(s.pace->arrivals, load::ArrivalKind::Poisson);
    EXPECT_EQ(s.pace->seed, 7u);
    EXPECT_EQ(s.stopAfterReplies, 10u);
    EXPECT_FALSE(std::get<CtrlSettings>(settings({})).pace) << "no rate: no pacing";
}

}  // namespace
}  // namespace tarrow::ctrl::test
