// The Qt timer adapter against the timer contract, with real QTimers and short intervals.
// Bounds are generous; what is checked is the order of events, not their timing.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "client/qt/qt_timer.h"
#include "tests/qt/qt_test_support.h"

using tarrow::qt::QtTimer;

namespace {

struct TickLog {
    int ticks = 0;
    QElapsedTimer sinceStart;
    qint64 firstTickMs = -1;
};

void attach(QtTimer& timer, TickLog& log) {
    log.sinceStart.start();
    timer.setHandler([&log] {
        if (log.ticks++ == 0) log.firstTickMs = log.sinceStart.elapsed();
    });
}

}  // namespace

TEST(QtTimer, StartsWithTheGivenIntervalAndState) {
    QtTimer on(5000, true), off(1000, false);
    EXPECT_TRUE(on.enabled());
    EXPECT_EQ(on.intervalMs(), 5000);
    EXPECT_FALSE(off.enabled());
    EXPECT_EQ(off.intervalMs(), 1000);
}

TEST(QtTimer, TicksRepeatedlyWhileEnabledAndStopsWhenDisabled) {
    QtTimer timer(10, false);
    TickLog log;
    attach(timer, log);
    timer.setEnabled(true);
    ASSERT_TRUE(tarrow::qt::test::pumpUntil([&] { return log.ticks >= 3; }, 5000));
    timer.setEnabled(false);
    const int ticks = log.ticks;
    tarrow::qt::test::pumpFor(60);
    EXPECT_EQ(log.ticks, ticks);
    EXPECT_FALSE(timer.enabled());
}

TEST(QtTimer, EnablingAnEnabledTimerDoesNotRestartIt) {
    // Re-enabling every 100 ms would postpone a restarted 300 ms timer forever.
    QtTimer timer(300, true);
    TickLog log;
    attach(timer, log);
    QElapsedTimer spent;
    spent.start();
    while (log.ticks == 0 && spent.elapsed() < 5000) {
        timer.setEnabled(true);
        tarrow::qt::test::pumpFor(100);
    }
    EXPECT_EQ(log.ticks, 1);
}

TEST(QtTimer, TheSameIntervalOnAnEnabledTimerChangesNothing) {
    QtTimer timer(300, true);
    TickLog log;
    attach(timer, log);
    QElapsedTimer spent;
    spent.start();
    while (log.ticks == 0 && spent.elapsed() < 5000) {
        timer.setIntervalMs(300);
        tarrow::qt::test::pumpFor(100);
    }
    EXPECT_EQ(log.ticks, 1);
}

TEST(QtTimer, ADifferentIntervalOnAnEnabledTimerRestartsFromNow) {
    QtTimer timer(5000, true);
    TickLog log;
    attach(timer, log);
    timer.setIntervalMs(20);
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(timer.intervalMs(), 20);
    ASSERT_TRUE(tarrow::qt::test::pumpUntil([&] { return log.ticks >= 1; }, 3000));
    EXPECT_LT(log.firstTickMs, 3000);
}

TEST(QtTimer, ANewIntervalOnADisabledTimerLeavesItDisabled) {
    QtTimer timer(1000, false);
    timer.setIntervalMs(10);
    EXPECT_FALSE(timer.enabled());
    TickLog log;
    attach(timer, log);
    tarrow::qt::test::pumpFor(60);
    EXPECT_EQ(log.ticks, 0);
}

TEST(QtTimer, AHandlerThatThrowsDoesNotStopTheTimer) {
    QtTimer timer(10, true);
    int ticks = 0;
    timer.setHandler([&ticks] {
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    EXPECT_TRUE(tarrow::qt::test::pumpUntil([&] { return ticks >= 2; }, 5000));
    EXPECT_TRUE(timer.enabled());
}
