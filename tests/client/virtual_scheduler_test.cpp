// The virtual timers stand in for the platform's in every form test: their semantics must hold exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/virtual_scheduler.h"

using tarrow::VirtualScheduler;

TEST(VirtualTimer, EnablingStartsAFullIntervalAndReEnablingChangesNothing) {
    VirtualScheduler s;
    auto& t = s.createTimer();
    std::vector<std::int64_t> ticks;
    t.setHandler([&] { ticks.push_back(s.nowMs()); });
    t.setEnabled(true);
    s.advance(600);
    t.setEnabled(true);  // already on: the running interval goes on
    s.advance(1400);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 2000}));
    t.setEnabled(false);
    s.advance(300);
    t.setEnabled(true);  // from 2300: a full interval
    s.advance(1000);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 2000, 3300}));
}

TEST(VirtualTimer, ANewIntervalRestartsTheSameIntervalDoesNot) {
    VirtualScheduler s;
    auto& t = s.createTimer();
    std::vector<std::int64_t> ticks;
    t.setHandler([&] { ticks.push_back(s.nowMs()); });
    t.setEnabled(true);
    s.advance(700);
    t.setIntervalMs(1000);
    s.advance(300);
    t.setIntervalMs(3000);  // at 1000, after the tick: next at 4000
    s.advance(3000);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{1000, 4000}));
}

TEST(VirtualTimer, TicksFireInTimeOrderAndHandlersSeeEachOther) {
    VirtualScheduler s;
    auto& a = s.createTimer();
    auto& b = s.createTimer();
    std::vector<std::string> order;
    a.setIntervalMs(300);
    b.setIntervalMs(500);
    a.setHandler([&] { order.push_back("a" + std::to_string(s.nowMs())); });
    b.setHandler([&] {
        order.push_back("b" + std::to_string(s.nowMs()));
        a.setEnabled(false);  // a tick that stops another timer prevents its later ticks
    });
    a.setEnabled(true);
    b.setEnabled(true);
    s.advance(2000);
    EXPECT_EQ(order, (std::vector<std::string>{"a300", "b500", "b1000", "b1500", "b2000"}));
    EXPECT_EQ(s.nowMs(), 2000);
}

TEST(VirtualTimer, ZeroIntervalNeverFires) {
    VirtualScheduler s;
    auto& t = s.createTimer();
    t.setIntervalMs(0);
    t.setEnabled(true);
    s.advance(10'000);
    EXPECT_EQ(t.tickCount, 0);
}
