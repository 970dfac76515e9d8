// The schedule of a paced run in virtual time: every login takes a fixed time, and workers
// are simulated as the pool runs them (the earliest free worker takes the next login).
#include <gtest/gtest.h>

#include <queue>

#include "common/load/load_schedule.h"
#include "common/load/load_json.h"
#include "common/load/load_timeline.h"

using namespace tarrow::load;

namespace {

constexpr std::int64_t kStartUs = 5'000'000;  // the run's clock does not start at 0

// Runs the plan with logins of loginUs each (a different time for the logins listed in
// slow); returns every login's times.
std::vector<LoginTimes> simulate(const LoadPlan& plan, std::int64_t loginUs, std::size_t limit = 100000,
                                 std::vector<std::pair<std::uint64_t, std::int64_t>> slow = {}) {
    LoadSchedule schedule(plan, kStartUs);
    using Free = std::pair<std::int64_t, int>;  // free since, worker
    std::priority_queue<Free, std::vector<Free>, std::greater<>> free;
    for (int w = 0; w < plan.workers; ++w) free.push({kStartUs, w});
    std::vector<LoginTimes> out;
    while (out.size() < limit) {
        const auto [freeUs, worker] = free.top();
        free.pop();
        const auto slot = schedule.take(freeUs);
        if (!slot) break;
        std::int64_t takes = loginUs;
        for (const auto& [index, us] : slow) {
            if (index == slot->index) takes = us;
        }
        const std::int64_t start = slot->earliestStartUs();
        out.push_back({slot->dueUs, slot->freeUs, start, start + takes});
        free.push({start + takes, worker});
    }
    return out;
}

LoadPlan openLoop(double rate, double seconds, int workers) {
    LoadPlan plan;
    plan.workers = workers;
    plan.curve = {{rate, seconds}};
    return plan;
}

}  // namespace

TEST(LoadSchedule, OpenLoopBelowCapacityStartsEveryLoginWhenDue) {
    const auto logins = simulate(openLoop(100, 1, 1), 4'000);
    ASSERT_EQ(logins.size(), 100u);
    for (std::size_t i = 0; i < logins.size(); ++i) {
        EXPECT_EQ(logins[i].dueUs, kStartUs + static_cast<std::int64_t>(i) * 10'000);
        EXPECT_EQ(logins[i].scheduleLagUs(), 0);
        EXPECT_EQ(logins[i].latencyUs(), 4'000);
        EXPECT_EQ(logins[i].serviceUs(), 4'000);
    }
}

TEST(LoadSchedule, AStallShowsInLatencyOfEveryLoginDueDuringItNotInTheirService) {
    // One worker, 100/s, logins of 2 ms; login 10 takes 500 ms.
    const auto logins = simulate(openLoop(100, 2, 1), 2'000, 100000, {{10, 500'000}});
    ASSERT_EQ(logins.size(), 200u);
    EXPECT_EQ(logins[10].serviceUs(), 500'000);
    // Login 11 was due 10 ms after login 10 and waited 490 ms for the one worker.
    EXPECT_EQ(logins[11].scheduleLagUs(), 490'000);
    EXPECT_EQ(logins[11].latencyUs(), 492'000);
    EXPECT_EQ(logins[11].serviceUs(), 2'000);
    EXPECT_EQ(logins[11].ownLagUs(), 0);  // a busy worker, not the generator
    // It catches up 8 ms per login: 62 logins after the stall are late, the 63rd is on time.
    EXPECT_EQ(logins[72].scheduleLagUs(), 2'000);
    EXPECT_EQ(logins[73].scheduleLagUs(), 0);
    // A tool that timed from the send would have seen one slow login, not 50.
    int late = 0;
    for (const auto& l : logins) late += l.latencyUs() > 100'000;
    EXPECT_EQ(late, 50);
}

TEST(LoadSchedule, WhenEveryWorkerIsBusyTheWaitCounts) {
    // 3 workers, 1000/s, logins of 5 ms: capacity 600/s, so logins queue for workers.
    const auto logins = simulate(openLoop(1000, 0.01, 3), 5'000);
    ASSERT_EQ(logins.size(), 10u);
    const std::vector<std::int64_t> lag{0, 0, 0, 2'000, 2'000, 2'000, 4'000, 4'000, 4'000, 6'000};
    for (std::size_t i = 0; i < logins.size(); ++i) {
        EXPECT_EQ(logins[i].dueUs - kStartUs, static_cast<std::int64_t>(i) * 1'000) << i;
        EXPECT_EQ(logins[i].scheduleLagUs(), lag[i]) << i;
        EXPECT_EQ(logins[i].latencyUs(), lag[i] + 5'000) << i;
        EXPECT_EQ(logins[i].ownLagUs(), 0) << i;
    }
}

TEST(LoadSchedule, ClosedLoopIsDueWhenItsWorkerIsFree) {
    LoadPlan plan;
    plan.workers = 2;
    plan.durationUs = 10'000;
    const auto logins = simulate(plan, 3'000);
    // Two workers, 3 ms each, in 10 ms: 4 logins each (the last starting at 9 ms).
    ASSERT_EQ(logins.size(), 8u);
    for (const auto& l : logins) {
        EXPECT_EQ(l.scheduleLagUs(), 0);
        EXPECT_EQ(l.latencyUs(), l.serviceUs());
    }
    EXPECT_EQ(logins.back().startUs - kStartUs, 9'000);
}

TEST(LoadSchedule, DurationCutsTheCurveAndTargetFollowsIt) {
    LoadPlan plan = openLoop(10, 5, 1);
    plan.durationUs = 1'000'000;
    EXPECT_EQ(simulate(plan, 1'000).size(), 10u);
    const LoadSchedule schedule(openLoop(10, 5, 1), kStartUs);
    EXPECT_EQ(schedule.targetRateAt(kStartUs + 4'999'999), 10);
    EXPECT_EQ(schedule.targetRateAt(kStartUs + 5'000'000), 0);
}

TEST(LoadSchedule, DefaultWorkersFollowThePeakRateWithinBounds) {
    EXPECT_EQ(defaultWorkers({{1, 1}}), 1);
    EXPECT_EQ(defaultWorkers({{100, 1}, {200, 1}}), 10);
    EXPECT_EQ(defaultWorkers({{100000, 1}}), kMaxDefaultWorkers);
}

TEST(LoadTimeline, CountsPerSecondAndMarksTheGeneratorFallingBehind) {
    LoadTimeline timeline(kStartUs);
    // Second 0: due and started on time. Second 1: a free worker, yet started 5 ms late (the
    // generator). Second 2: late because the worker was busy (the directory).
    timeline.add({kStartUs + 100, kStartUs, kStartUs + 100, kStartUs + 1'200'000});
    timeline.add({kStartUs + 1'000'000, kStartUs + 900'000, kStartUs + 1'005'000, kStartUs + 1'006'000});
    timeline.add({kStartUs + 2'000'000, kStartUs + 2'300'000, kStartUs + 2'300'000, kStartUs + 2'301'000});
    const auto& s = timeline.seconds();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].due, 1u);
    EXPECT_EQ(s[0].ended, 0u);
    EXPECT_EQ(s[1].ended, 2u);
    EXPECT_EQ(s[1].ownLagMeanUs(), 5'000);
    EXPECT_EQ(s[2].ownLagMeanUs(), 0);
    EXPECT_EQ(timeline.behindSeconds(), std::vector<std::int64_t>{1});
    EXPECT_NE(timeline.behindWarning().find("fell behind in 1 second(s), first at second 1"),
              std::string::npos);
    EXPECT_EQ(LoadTimeline(0).behindWarning(), "");
}

TEST(LoadTimeline, RateHeldOverFullSecondsOnly) {
    LoadPlan plan;
    plan.curve = {{4, 1.5}, {2, 1.5}};
    const LoadSchedule schedule(plan, kStartUs);
    LoadTimeline timeline(kStartUs);
    auto startAt = [&](std::int64_t us) { timeline.add({us, us, us, us + 10}); };
    for (std::int64_t us : {0, 250'000, 500'000}) startAt(kStartUs + us);   // second 0: 3 of 4
    for (std::int64_t us : {2'000'000, 2'400'000}) startAt(kStartUs + us);  // second 2: 2 of 2
    // Second 1 changes its target half-way; second 3 is not full by the end.
    RateHeld held = timeline.rateHeld(schedule, *schedule.endUs());
    EXPECT_EQ(held.fullSeconds, 2);
    EXPECT_EQ(held.lowestPct, -25);
    EXPECT_EQ(held.highestPct, 0);
    EXPECT_EQ(held.text(), "logins started per full second: -25.0 % to +0.0 % of the target (2 s)");
    EXPECT_EQ(timeline.rateHeld(schedule, kStartUs + 2'500'000).fullSeconds, 1);
}

TEST(LoadJson, SaysHowTheLoadWasSetAndEachSecondAgainstItsTarget) {
    LoadPlan plan;
    plan.workers = 3;
    plan.curve = {{2, 1}, {4, 1}};
    plan.arrivals = ArrivalKind::Poisson;
    plan.seed = 9;
    const LoadSchedule schedule(plan, kStartUs);
    LoadTimeline timeline(kStartUs);
    timeline.add({kStartUs, kStartUs, kStartUs, kStartUs + 10});
    timeline.add({kStartUs + 500'000, kStartUs, kStartUs + 1'200'000, kStartUs + 1'200'010});
    const auto json = loadJson(plan, timeline, schedule, RateHeld{2, -50, 0});
    EXPECT_EQ(json["mode"], "open");
    EXPECT_EQ(json["workers"], 3);
    EXPECT_TRUE(json["rate"].is_null());
    EXPECT_EQ(json["curve"].dump(), R"([{"rate":2.0,"seconds":1.0},{"rate":4.0,"seconds":1.0}])");
    EXPECT_EQ(json["arrivals"], "poisson");
    EXPECT_EQ(json["seed"], 9);
    EXPECT_EQ(json["rate_held"]["lowest_pct"], -50.0);
    EXPECT_EQ(json["generator_fell_behind"]["seconds"].dump(), "[1]");
    EXPECT_EQ(
        json["seconds"].dump(),
        R"([{"t_s":0,"due":2,"started":1,"ended":1,"target_rate":2.0,"own_lag_us":0,"behind_schedule":true},)"
        R"({"t_s":1,"due":0,"started":1,"ended":1,"target_rate":4.0,"own_lag_us":700000,"behind_schedule":false}])");
    LoadPlan closed;
    const auto closedJson = loadJson(closed, LoadTimeline(0), LoadSchedule(closed, 0), std::nullopt);
    EXPECT_EQ(closedJson["mode"], "closed");
    EXPECT_TRUE(closedJson["arrivals"].is_null());
    EXPECT_TRUE(closedJson["rate_held"].is_null());
    EXPECT_TRUE(closedJson["generator_fell_behind"].is_null());
}
