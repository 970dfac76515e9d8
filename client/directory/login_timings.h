// The phases of a login as the directory libraries measured them (QVDSTakeLoginTimings).
#pragma once

#include <array>
#include <cstdint>

namespace tarrow {

// In the order of qvdsapi.h's QV_PHASE_* values.
enum class LoginPhase : int { Connect = 0, Tls = 1, Bind = 2, Verify = 3, Unbind = 4 };
constexpr int kLoginPhaseCount = 5;

// "connect", "tls", "bind", "verify", "unbind": the names of the reports.
const char* loginPhaseName(int phase);

struct PhaseTimings {
    std::uint32_t reached = 0;                        // bit (1 << phase) per phase measured
    std::array<std::int64_t, kLoginPhaseCount> us{};  // microseconds; 0 when not reached

    bool has(int phase) const { return (reached >> phase) & 1u; }
    bool has(LoginPhase phase) const { return has(static_cast<int>(phase)); }
    std::int64_t of(LoginPhase phase) const { return us[static_cast<std::size_t>(phase)]; }
};

// What the directory libraries measured on this thread since the last call, and clears
// it. Empty when the libraries in use have no timing (libraries without the call).
PhaseTimings takePhaseTimings();

// Turns the libraries' timing on or off for the process (on by default).
void setPhaseTiming(bool on);

}  // namespace tarrow
