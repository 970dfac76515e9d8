// The per-thread record behind QVDSTakeLoginTimings: what the calling thread's login
// steps took, by phase, on the monotonic clock.
#pragma once

#include "qds/include/qvdsapi.h"

#include <chrono>
#include <cstdint>

namespace qds {

// False after QVDSSetLoginTiming(0): then nothing is read from the clock.
bool loginTimingOn();
void setLoginTimingOn(bool on);

// A new login on this thread: forgets connect, TLS, bind and verify not yet taken.
void beginLoginTiming();
// Stores the time spent in one phase of this thread's current login.
void recordPhase(int phase, std::chrono::steady_clock::duration spent);
// Hands out this thread's record and clears it.
QVLoginTimings takeLoginTimings();

// Times one phase from its construction to stop() (or its end); does nothing while the
// timing is off.
class PhaseTimer {
public:
    explicit PhaseTimer(int phase) : phase_(phase), on_(loginTimingOn()) {
        if (on_) start_ = std::chrono::steady_clock::now();
    }
    ~PhaseTimer() { stop(); }
    PhaseTimer(const PhaseTimer&) = delete;
    PhaseTimer& operator=(const PhaseTimer&) = delete;
    void stop() {
        if (!on_) return;
        on_ = false;
        recordPhase(phase_, std::chrono::steady_clock::now() - start_);
    }
    // Ends this phase at a moment already read (the connect callback's), starting the
    // next one there.
    void stopAt(std::chrono::steady_clock::time_point end) {
        if (!on_) return;
        on_ = false;
        recordPhase(phase_, end - start_);
    }
    bool running() const { return on_; }
    std::chrono::steady_clock::time_point started() const { return start_; }

private:
    int phase_;
    bool on_;
    std::chrono::steady_clock::time_point start_{};
};

}  // namespace qds
