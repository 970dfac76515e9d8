// Workload event scheduling: the random delay, the countdown text and the event itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/app/TrwU.h"
#include "client/directory/login_timings.h"
#include "common/timings_extension.h"
#include "common/buffer_text.h"

namespace {
// The longest delay whose interval in milliseconds still fits the timer's int.
constexpr std::int64_t kMaxDelaySeconds = 2147483;

// |maxDelay| bounded so that (r + 1) * 1000 ms always fits; 0 stays 0.
std::int64_t delayBound(std::int32_t maxDelay) {
    const std::int64_t magnitude = std::llabs(static_cast<std::int64_t>(maxDelay));
    return magnitude < kMaxDelaySeconds ? magnitude : kMaxDelaySeconds;
}
}  // namespace

void TfrmTrwMain::chooseNextInterval() {
    std::int64_t r = 0;
    // With no bound the generator is left alone, so the sequence is not advanced.
    if (const std::int64_t bound = delayBound(maxDelay); bound != 0) r = p.random.next() % bound;
    const int intervalMs = static_cast<int>((r + 1) * 1000);
    // A new interval on a running timer starts it afresh; the armed event is due later.
    if (p.timeEvent.enabled() && intervalMs != p.timeEvent.intervalMs())
        eventDueUs = p.monotonicClock.nowUs() + intervalMs * 1000LL;
    p.timeEvent.setIntervalMs(intervalMs);
    nextEventSeconds = static_cast<std::int32_t>(r);
    updateIntervalLabel();
}

void TfrmTrwMain::updateIntervalLabel() {
    p.lblFuncTimer.setText("Next event in " + std::to_string(nextEventSeconds) + " second(s)");
    // The count has no lower bound; wrap instead of overflowing.
    nextEventSeconds = static_cast<std::int32_t>(static_cast<std::uint32_t>(nextEventSeconds) - 1U);
}

void TfrmTrwMain::timeEventTimer() {
    p.timeEvent.setEnabled(false);
    p.timeCountdown.setEnabled(false);

    // Timed only for a controller that asked; the described reply is built the same either way.
    const bool timed = timingsAsked;
    tarrow::timings::LoginTimings timings;
    std::int64_t startUs = 0;
    if (timed) {
        tarrow::takePhaseTimings();  // drop what an earlier login left behind
        startUs = p.monotonicClock.nowUs();
        if (eventDueUs >= 0) timings.lagUs = startUs - eventDueUs;
    }
    eventDueUs = -1;

    std::string reply = "R";
    try {
        const std::int32_t code = user->execute();
        if (timed) timings.executeUs = p.monotonicClock.nowUs() - startUs;
        reply += std::to_string(code);
    } catch (const DSUser::DSError& e) {
        if (timed) timings.executeUs = p.monotonicClock.nowUs() - startUs;
        p.memDebug.append("***DSUser ERROR: " + e.message);
        reply += "0" + e.message;
    }
    // The reply passes through a zero-terminated buffer of 1500 bytes: cut, never overrun.
    reply = tarrow::bufferText(reply);
    if (timed) {
        timings.phases = tarrow::takePhaseTimings();
        // The buffer's terminating zero goes out too, and the record after it.
        tarrow::timings::appendRecord(reply, timings);
    }

    try {
        sktTCP.send(reply);
    } catch (const tarrow::SocketError&) {
        p.memDebug.append("***ERROR occured while trying to send data");
    }
    chooseNextInterval();
}
