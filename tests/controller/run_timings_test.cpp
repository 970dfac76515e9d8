// Per-second intervals, outages and the report of a controlled run.
#include "controller/core/json_report.h"
#include "controller/core/outage_tracker.h"
#include "controller/core/run_stats.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tarrow::ctrl {
namespace {

constexpr std::int64_t kSecondUs = 1'000'000;

TEST(IntervalSeries, AControlledRunsColumnsWithCountsPercentilesAndClients) {
    IntervalSeries t(kControlledColumns);
    t.clients(0, 2);
    t.record(100, ReplyKind::Success, 500);
    t.record(200, ReplyKind::Error, 900);
    t.record(300, ReplyKind::Failed, -1);  // no timings: counted, not in the percentiles
    t.indeterminate(2 * kSecondUs + 5);
    t.clients(2 * kSecondUs + 5, 1);
    t.finish(3 * kSecondUs + 10);
    const auto& rows = t.seconds();
    ASSERT_EQ(rows.size(), 4u) << "seconds 0 to 3, the empty one and the partial last one too";
    EXPECT_EQ(rows[0].logins, 3u);
    EXPECT_EQ(rows[0].successful, 1u);
    EXPECT_EQ(rows[0].errors, 1u);
    EXPECT_EQ(rows[0].failed, 1u);
    EXPECT_EQ(rows[0].timed, 2u);
    EXPECT_NEAR(static_cast<double>(*rows[0].p50Us), 500, 5);
    EXPECT_NEAR(static_cast<double>(*rows[0].p99Us), 900, 9);
    EXPECT_EQ(rows[0].clients, 2u);
    EXPECT_EQ(rows[1].logins, 0u);
    EXPECT_FALSE(rows[1].p50Us) << "no timed login in that second";
    EXPECT_EQ(rows[1].clients, 2u) << "clients carry over a quiet second";
    EXPECT_EQ(rows[2].indeterminate, 1u);
    EXPECT_EQ(rows[2].clients, 1u);
    t.finish(9 * kSecondUs);  // idempotent
    EXPECT_EQ(t.seconds().size(), 4u);
}

TEST(IntervalSeries, StaysWithinItsCapOverAVeryLongRun) {
    IntervalSeries t;
    constexpr auto kMax = static_cast<std::int64_t>(IntervalSeries::kMaxSeconds);
    t.record(0, ReplyKind::Success, 1);
    t.record((kMax + 10) * kSecondUs, ReplyKind::Success, 1);
    t.record((kMax + 5000) * kSecondUs, ReplyKind::Success, 1);
    t.finish((kMax + 5000) * kSecondUs + 1);
    EXPECT_EQ(t.seconds().size(), IntervalSeries::kMaxSeconds);
    EXPECT_EQ(t.seconds().size() + t.secondsOmitted(), IntervalSeries::kMaxSeconds + 5001);
}

class OutageTrackerTest : public ::testing::Test {
protected:
    void ok(std::int64_t atMs, std::int64_t loginUs = 400) {
        tracker.reply(atMs * 1000, atMs, true, 1, {}, loginUs);
    }
    void fail(std::int64_t atMs) {
        tracker.reply(atMs * 1000, atMs, false, 0, "QVDSLogin returned -201", 3'000);
    }
    OutageTracker tracker{3, 5 * kSecondUs};
};

TEST_F(OutageTrackerTest, RunOfFailuresIsMeasuredFromFirstFailureToFirstSuccessWithRecoveryP99) {
    ok(0);
    fail(1000);
    fail(1500);
    fail(2000);
    fail(9000);
    ok(10'000, 2'000);  // recovery: slow at first
    for (int i = 1; i <= 99; ++i) ok(10'000 + i * 10, 500);
    ok(15'001, 90'000);  // after the window: not in its p99
    tracker.finish(20'000'000);
    ASSERT_EQ(tracker.outages().size(), 1u);
    const Outage& o = tracker.outages()[0];
    EXPECT_EQ(o.firstFailureUs, 1'000'000);
    EXPECT_EQ(o.firstMessage, "QVDSLogin returned -201");
    EXPECT_EQ(o.failedInRow, 4u);
    EXPECT_EQ(o.recoveredUs, 10'000'000);
    EXPECT_EQ(o.recoveryLogins, 100u);
    EXPECT_EQ(o.recoveryWindowUs, 5 * kSecondUs);
    EXPECT_NEAR(static_cast<double>(o.recoveryP99Us), 500, 5);
}

TEST_F(OutageTrackerTest, ShortRunsAreNoOutageAndAnOpenOneIsListedAtTheEnd) {
    fail(0);
    fail(1);
    ok(2);  // two in a row: below the threshold
    fail(3);
    fail(4);
    fail(5);
    tracker.finish(6000);
    ASSERT_EQ(tracker.outages().size(), 1u);
    EXPECT_EQ(tracker.outages()[0].firstFailureUs, 3000);
    EXPECT_EQ(tracker.outages()[0].failedInRow, 3u);
    EXPECT_EQ(tracker.outages()[0].recoveredUs, -1);
}

TEST_F(OutageTrackerTest, ANewOutageCutsTheLastRecoveryWindowShort) {
    for (int t : {0, 1, 2}) fail(t);
    ok(100);
    for (int t : {200, 201, 202}) fail(t);
    ok(300);
    tracker.finish(20'000'000);
    ASSERT_EQ(tracker.outages().size(), 2u);
    EXPECT_EQ(tracker.outages()[0].recoveryWindowUs, 102'000)
        << "from 100 ms to the failure that made the next";
    EXPECT_EQ(tracker.outages()[0].recoveryLogins, 3u) << "the success and the two failures before the third";
    EXPECT_EQ(tracker.outages()[1].recoveryWindowUs, 5 * kSecondUs);
}

TEST(ControllerReport, HoldsTheBatchKeysAndTheControllersOwn) {
    RunStats s;
    timings::LoginTimings t;
    t.executeUs = 20'500;
    t.lagUs = 3;
    t.phases.set(LoginPhase::Bind, 20'000);
    ReplyRecord r;
    r.client = "127.0.0.1:5000";
    r.user = "u1";
    r.kind = ReplyKind::Success;
    r.code = 1;
    r.replyUs = 1'020'000;
    r.timings = &t;
    s.recordTimingsSupport(r.client, TimingsSupport::Reporting);
    s.recordReply(r);
    ReplyRecord e = r;
    e.kind = ReplyKind::Error;
    e.code = 0;
    e.message = "caf\xe9 down";  // single-byte text
    e.timings = nullptr;
    e.client = "127.0.0.1:5001";
    s.recordReply(e);
    LeaseRecord lease;
    lease.client = "127.0.0.1:5002";
    lease.user = "u7";
    lease.why = LeaseEnd::ConnectionClosed;
    lease.handedAgain = true;
    s.recordIndeterminate(lease);
    s.packetsSent = 3;
    s.finish(2 * kSecondUs);
    ReportContext c;
    c.elapsedUs = 2 * kSecondUs;
    const auto j = nlohmann::json::parse(reportJson(s, c));
    EXPECT_EQ(j["logins"]["performed"], 2);
    EXPECT_EQ(j["logins"]["indeterminate"], 1);
    EXPECT_EQ(j["logins"]["packets_sent"], 3);
    EXPECT_EQ(j["latency_us"]["count"], 1);
    EXPECT_NEAR(j["latency_us"]["p50"].get<double>(), 20'500, 160);
    EXPECT_NEAR(j["phases_us"]["bind"]["p50"].get<double>(), 20'000, 160);
    EXPECT_EQ(j["phases_us"]["connect"]["count"], 0);
    EXPECT_NEAR(j["reply_ms"]["p50"].get<double>(), 1020, 10);
    EXPECT_EQ(j["errors_by_message"]["caf\xc3\xa9 down"], 1) << "Latin-1 written as UTF-8";
    EXPECT_EQ(j["report"], "TarrowCtrl");
    EXPECT_EQ(j["format"], 2);
    ASSERT_EQ(j["intervals"].size(), 2u) << "a run of 2 s has the seconds 0 and 1";
    EXPECT_EQ(j["intervals"][0]["clients"], 0);
    EXPECT_TRUE(j["intervals"][1]["p50_us"].is_null());
    EXPECT_EQ(j["intervals"][0]["logins"], 2);
    ASSERT_EQ(j["clients"].size(), 3u);
    EXPECT_EQ(j["clients"][0]["timings"], "yes");
    EXPECT_NEAR(j["clients"][0]["p99_us"].get<double>(), 20'500, 160);
    EXPECT_TRUE(j["clients"][1]["p50_us"].is_null()) << "no timings from that one";
    EXPECT_EQ(j["clients"][2]["indeterminate"], 1);
    ASSERT_EQ(j["indeterminate"].size(), 1u);
    EXPECT_EQ(j["indeterminate"][0]["user"], "u7");
    EXPECT_EQ(j["indeterminate"][0]["client"], "127.0.0.1:5002");
    EXPECT_EQ(j["indeterminate"][0]["reason"], "connection closed");
    EXPECT_TRUE(j["outages"].empty());
}

}  // namespace
}  // namespace tarrow::ctrl
