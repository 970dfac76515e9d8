// Runs a load plan on real threads: each worker takes the next login when it is free, waits
// until that login is due, and runs it. What a login is, is the caller's: claim() picks the
// work for a slot (under the pool's lock, so that a shared source such as a users file is read
// by one worker at a time), perform() runs it on the worker's own thread.
#pragma once

#include "common/load/load_schedule.h"
#include "common/load/load_timeline.h"

#include <atomic>
#include <cstdint>
#include <functional>

namespace tarrow::load {

// The clock of a paced run; sleeping is part of it so that tests and benchmarks can swap it.
class LoadClock {
public:
    virtual ~LoadClock() = default;
    virtual std::int64_t nowUs() const = 0;
    // Returns at us or soon after; may return earlier when the run is asked to stop.
    virtual void sleepUntilUs(std::int64_t us, const std::atomic<bool>& stop) = 0;
};

// std::chrono::steady_clock, sleeping in steps of at most 50 ms so that a stop is seen.
class SteadyLoadClock : public LoadClock {
public:
    std::int64_t nowUs() const override;
    void sleepUntilUs(std::int64_t us, const std::atomic<bool>& stop) override;
};

struct WorkerHooks {
    // Under the pool's lock: picks worker's work for slot. false: there is none, the run ends.
    std::function<bool(int worker, const Slot& slot)> claim;
    // On the worker's thread, without the lock: runs the login claimed for slot, which may
    // start at startUs (its earliest start, already reached). Returns when the login ended.
    std::function<void(int worker, const Slot& slot)> perform;
};

// Runs plan.workers threads until the schedule, claim() or stop ends the run, and returns
// when every worker has finished its last login. Worker 0 runs on the calling thread.
void runWorkers(const LoadPlan& plan, LoadSchedule& schedule, LoadClock& clock, const WorkerHooks& hooks,
                const std::atomic<bool>& stop);

}  // namespace tarrow::load
