#include "common/load/worker_pool.h"

#include <chrono>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

namespace tarrow::load {

std::int64_t SteadyLoadClock::nowUs() const {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyLoadClock::sleepUntilUs(std::int64_t us, const std::atomic<bool>& stop) {
    constexpr std::int64_t kStepUs = 50'000;
#if defined(__linux__)
    // A thread's sleeps may end up to 50 us late by default (timer slack); a login's lag from
    // its due time should be the machine's, not a power-saving allowance.
    thread_local const bool preciseWakeups = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)preciseWakeups;
#endif
    for (std::int64_t now = nowUs(); now < us && !stop.load(std::memory_order_relaxed); now = nowUs()) {
        const std::int64_t until = us - now > kStepUs ? now + kStepUs : us;
        std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(until)));
    }
}

void runWorkers(const LoadPlan& plan, LoadSchedule& schedule, LoadClock& clock, const WorkerHooks& hooks,
                const std::atomic<bool>& stop) {
    std::mutex lock;
    bool over = false;
    std::exception_ptr failure;  // the first error of any worker, passed on to the caller
    auto workUntilOver = [&](int worker) {
        for (;;) {
            Slot slot;
            {
                const std::int64_t freeUs = clock.nowUs();
                const std::lock_guard guard(lock);
                if (over || stop.load(std::memory_order_relaxed)) return;
                const auto next = schedule.take(freeUs);
                if (!next || !hooks.claim(worker, *next)) {
                    over = true;
                    return;
                }
                slot = *next;
            }
            clock.sleepUntilUs(slot.dueUs, stop);
            // A stop while waiting: the login was not due yet, so it is not run.
            if (stop.load(std::memory_order_relaxed) && clock.nowUs() < slot.dueUs) return;
            hooks.perform(worker, slot);
        }
    };
    auto work = [&](int worker) {
        try {
            workUntilOver(worker);
        } catch (...) {
            const std::lock_guard guard(lock);
            if (!failure) failure = std::current_exception();
            over = true;
        }
    };
    const int workers = plan.workers < 1 ? 1 : plan.workers;
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers - 1));
    for (int w = 1; w < workers; ++w) threads.emplace_back(work, w);
    work(0);
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tarrow::load
