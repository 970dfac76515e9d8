#include "client/ui/event_scheduler.h"

#include <cstdlib>
#include <string>

namespace tarrow {
namespace {

// The longest delay whose interval in milliseconds still fits the timer's int.
constexpr std::int64_t kMaxDelaySeconds = 2147483;

// |maxDelay| bounded so that (r + 1) * 1000 ms always fits; 0 stays 0.
std::int64_t delayBound(std::int32_t maxDelay) {
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(maxDelay));
    return magnitude < kMaxDelaySeconds ? magnitude : kMaxDelaySeconds;
}

}  // namespace

void EventScheduler::chooseNextInterval(std::int32_t maxDelay) {
    std::int64_t r = 0;
    // With no bound the generator is left alone, so the sequence is not advanced.
    if (const std::int64_t bound = delayBound(maxDelay); bound != 0) r = random_.next() % bound;
    const int intervalMs = static_cast<int>((r + 1) * 1000);
    // A new interval on a running timer starts it afresh; the armed event is due later.
    if (timeEvent_.enabled() && intervalMs != timeEvent_.intervalMs())
        eventDueUs_ = clock_.nowUs() + intervalMs * 1000LL;
    timeEvent_.setIntervalMs(intervalMs);
    nextEventSeconds_ = static_cast<std::int32_t>(r);
    updateIntervalLabel();
}

void EventScheduler::updateIntervalLabel() {
    lblFuncTimer_.setText("Next event in " + std::to_string(nextEventSeconds_) + " second(s)");
    // The count has no lower bound; wrap instead of overflowing.
    nextEventSeconds_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextEventSeconds_) - 1U);
}

}  // namespace tarrow
