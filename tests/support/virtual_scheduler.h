// Virtual time for tests: timers that fire only when the test advances the clock, exactly
// on time and in time order, with the Timer semantics the form relies on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "client/ports/clock.h"
#include "client/ports/timer.h"

namespace tarrow {

class VirtualScheduler;

class VirtualTimer : public Timer {
public:
    explicit VirtualTimer(VirtualScheduler& scheduler) : scheduler_(scheduler) {}
    int intervalMs() const override { return intervalMs_; }
    void setIntervalMs(int intervalMs) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;
    void setHandler(std::function<void()> onTick) override { handler_ = std::move(onTick); }

    // Virtual time of the next tick; meaningful while enabled.
    std::int64_t dueMs() const { return dueMs_; }
    int tickCount = 0;

private:
    friend class VirtualScheduler;
    void restart();

    VirtualScheduler& scheduler_;
    int intervalMs_ = 1000;
    bool enabled_ = false;
    std::int64_t dueMs_ = 0;
    std::uint64_t order_ = 0;  // breaks ties between timers due at the same moment
    std::function<void()> handler_;
};

class VirtualScheduler {
public:
    std::int64_t nowMs() const { return nowMs_; }
    // A new timer: 1000 ms, disabled, owned by the scheduler.
    VirtualTimer& createTimer();
    // Moves time forward by ms, firing every due tick in time order at its exact moment.
    // A timer with an interval of 0 or less never fires.
    void advance(std::int64_t ms);

private:
    friend class VirtualTimer;
    std::int64_t nowMs_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<std::unique_ptr<VirtualTimer>> timers_;
};

// Monotonic time that follows the scheduler; a test may add time of its own (an operation
// that takes long) or script the next readings.
class FakeMonotonicClock : public MonotonicClock {
public:
    explicit FakeMonotonicClock(const VirtualScheduler& scheduler) : scheduler_(scheduler) {}
    std::int64_t nowUs() const override;
    // Adds to every later reading, without firing timers.
    void addUs(std::int64_t us) { offsetUs += us; }
    // Each reading adds this much afterwards (an operation between two readings takes it).
    std::int64_t stepPerReadingUs = 0;
    mutable std::int64_t offsetUs = 0;
    mutable int readings = 0;

private:
    const VirtualScheduler& scheduler_;
};

class FakeWallClock : public WallClock {
public:
    std::int64_t nowSeconds() const override { return seconds; }
    std::int64_t seconds = 1'700'000'000;
};

// Hands out scripted numbers in order, then repeats the last (0 when none); records seeds.
class ScriptedRandom : public RandomSource {
public:
    void seed(std::uint32_t value) override { seeds.push_back(value); }
    std::int32_t next() override;

    std::vector<std::int32_t> script;
    std::size_t draws = 0;
    std::vector<std::uint32_t> seeds;
};

}  // namespace tarrow
