#include "qds/real/login_timing.h"

#include <atomic>

namespace qds {
namespace {

std::atomic<bool> timingOn{true};

constexpr std::uint32_t kLoginPhases = (1u << QV_PHASE_CONNECT) | (1u << QV_PHASE_TLS) |
                                       (1u << QV_PHASE_BIND) | (1u << QV_PHASE_VERIFY);

// Plain data, so that a thread-local record costs no constructor or destructor.
thread_local QVLoginTimings record{};

}  // namespace

bool loginTimingOn() { return timingOn.load(std::memory_order_relaxed); }

void setLoginTimingOn(bool on) { timingOn.store(on, std::memory_order_relaxed); }

void beginLoginTiming() {
    record.reached &= ~kLoginPhases;
    for (int p : {QV_PHASE_CONNECT, QV_PHASE_TLS, QV_PHASE_BIND, QV_PHASE_VERIFY}) record.us[p] = 0;
}

void recordPhase(int phase, std::chrono::steady_clock::duration spent) {
    if (phase < 0 || phase >= QV_PHASE_COUNT) return;
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(spent).count();
    record.us[phase] = us > 0 ? us : 0;
    record.reached |= 1u << phase;
}

QVLoginTimings takeLoginTimings() {
    const QVLoginTimings taken = record;
    record = QVLoginTimings{};
    return taken;
}

}  // namespace qds
