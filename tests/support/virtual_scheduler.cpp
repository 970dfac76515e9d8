#include "tests/support/virtual_scheduler.h"

namespace tarrow {

void VirtualTimer::restart() {
    dueMs_ = scheduler_.nowMs_ + intervalMs_;
    order_ = scheduler_.nextOrder_++;
}

void VirtualTimer::setIntervalMs(int intervalMs) {
    if (intervalMs == intervalMs_) return;
    intervalMs_ = intervalMs;
    if (enabled_) restart();
}

void VirtualTimer::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) restart();
}

VirtualTimer& VirtualScheduler::createTimer() {
    timers_.push_back(std::make_unique<VirtualTimer>(*this));
    return *timers_.back();
}

void VirtualScheduler::advance(std::int64_t ms) {
    const std::int64_t target = nowMs_ + ms;
    for (;;) {
        VirtualTimer* next = nullptr;
        for (const auto& t : timers_) {
            if (!t->enabled_ || t->intervalMs_ <= 0 || t->dueMs_ > target) continue;
            if (next == nullptr || t->dueMs_ < next->dueMs_ ||
                (t->dueMs_ == next->dueMs_ && t->order_ < next->order_)) {
                next = t.get();
            }
        }
        if (next == nullptr) break;
        nowMs_ = next->dueMs_;
        // Schedule the following tick first, so that whatever the handler does to the timer wins.
        next->dueMs_ += next->intervalMs_;
        next->order_ = nextOrder_++;
        ++next->tickCount;
        if (next->handler_) next->handler_();
    }
    nowMs_ = target;
}

std::int64_t FakeMonotonicClock::nowUs() const {
    ++readings;
    const std::int64_t now = scheduler_.nowMs() * 1000 + offsetUs;
    offsetUs += stepPerReadingUs;
    return now;
}

std::int32_t ScriptedRandom::next() {
    const std::size_t i = draws++;
    if (script.empty()) return 0;
    return i < script.size() ? script[i] : script.back();
}

}  // namespace tarrow
