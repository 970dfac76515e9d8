// The event scheduler on its own: the drawn delay, the countdown text and its count, and when
// the armed event is due.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "client/ui/event_scheduler.h"
#include "tests/support/fake_controls.h"
#include "tests/support/virtual_scheduler.h"

namespace {

class EventSchedulerTest : public ::testing::Test {
protected:
    tarrow::VirtualScheduler time;
    tarrow::VirtualTimer& timeEvent = time.createTimer();
    tarrow::FakeLabel lblFuncTimer;
    tarrow::ScriptedRandom random;
    std::int32_t nextEventSeconds = 0;
    tarrow::FakeMonotonicClock clock{time};
    std::int64_t eventDueUs = -1;
    tarrow::EventScheduler scheduler{timeEvent, lblFuncTimer, random, nextEventSeconds, clock, eventDueUs};
};

TEST_F(EventSchedulerTest, RemainderOfTheDrawGivesTheDelay) {
    struct Case {
        std::int32_t maxDelay;
        std::int32_t draw;
        int intervalMs;
        std::size_t draws;
    };
    const Case cases[] = {
        {0, 12345, 1000, 0},                // no bound: one second, generator left alone
        {1, 12345, 1000, 1},                // same delay, but the generator advances
        {-5, 13, 4000, 1},                  // the bound's sign does not matter: 13 mod 5 = 3
        {120, 119, 120000, 1},              // the default's largest delay
        {120, 240, 1000, 1},                // and its smallest
        {INT_MAX, 4294965, 2147483000, 1},  // bound to 2147483 s: 4294965 mod 2147483 = 2147482
        {INT_MIN, 2147483, 1000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("maxDelay " + std::to_string(c.maxDelay) + " draw " + std::to_string(c.draw));
        random.script = {c.draw};
        random.draws = 0;
        scheduler.chooseNextInterval(c.maxDelay);
        EXPECT_EQ(timeEvent.intervalMs(), c.intervalMs);
        EXPECT_EQ(random.draws, c.draws);
        EXPECT_EQ(lblFuncTimer.text(),
                  "Next event in " + std::to_string(c.intervalMs / 1000 - 1) + " second(s)");
        EXPECT_EQ(nextEventSeconds, c.intervalMs / 1000 - 2) << "the label counted down once";
        EXPECT_FALSE(timeEvent.enabled());
    }
}

TEST_F(EventSchedulerTest, HugeMaxDelayNeverOverflowsTheInterval) {
    for (std::int32_t draw : {0, 1, 2147482, 2147483, 999999999, INT_MAX}) {
        random.script = {draw};
        scheduler.chooseNextInterval(INT_MAX);
        EXPECT_GE(timeEvent.intervalMs(), 1000);
        EXPECT_LE(timeEvent.intervalMs(), 2147483000);
        EXPECT_EQ(timeEvent.intervalMs() % 1000, 0);
    }
}

TEST_F(EventSchedulerTest, ANewIntervalOnTheRunningTimerMovesTheDueTimeAndNothingElseDoes) {
    random.script = {4};
    scheduler.chooseNextInterval(10);  // not running: nothing is due
    EXPECT_EQ(eventDueUs, -1);
    timeEvent.setEnabled(true);
    eventDueUs = 5'000'000;  // armed at 0 s
    time.advance(1000);
    scheduler.chooseNextInterval(10);  // the same 5 s: the timer runs on
    EXPECT_EQ(eventDueUs, 5'000'000);
    random.script = {2};
    scheduler.chooseNextInterval(10);  // 3 s: the timer starts afresh at 1 s
    EXPECT_EQ(timeEvent.intervalMs(), 3000);
    EXPECT_EQ(eventDueUs, 4'000'000);
}

TEST_F(EventSchedulerTest, CountdownHasNoLowerBound) {
    scheduler.updateIntervalLabel();
    scheduler.updateIntervalLabel();
    EXPECT_EQ(lblFuncTimer.text(), "Next event in -1 second(s)");
    nextEventSeconds = INT_MIN;
    scheduler.updateIntervalLabel();
    EXPECT_EQ(lblFuncTimer.text(), "Next event in -2147483648 second(s)");
    EXPECT_EQ(nextEventSeconds, INT_MAX);
}

}  // namespace
