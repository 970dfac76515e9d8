// Workload event scheduling: the random delay, the countdown text and the event itself.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/app/TrwU.h"
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
    p.timeEvent.setIntervalMs(static_cast<int>((r + 1) * 1000));
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

    std::string reply = "R";
    try {
        reply += std::to_string(user->execute());
    } catch (const DSUser::DSError& e) {
        p.memDebug.append("***DSUser ERROR: " + e.message);
        reply += "0" + e.message;
    }
    // The reply passes through a zero-terminated buffer of 1500 bytes: cut, never overrun.
    reply = tarrow::bufferText(reply);

    try {
        sktTCP.send(reply);
    } catch (const tarrow::SocketError&) {
        p.memDebug.append("***ERROR occured while trying to send data");
    }
    chooseNextInterval();
}
