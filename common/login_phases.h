// The phases of a login, as the directory libraries time them and as every report names
// them: connect, tls, bind, verify, unbind (qvdsapi.h's QV_PHASE_* in that order).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarrow {

enum class LoginPhase : int { Connect = 0, Tls = 1, Bind = 2, Verify = 3, Unbind = 4 };
constexpr int kLoginPhaseCount = 5;

// "connect", "tls", "bind", "verify", "unbind"; "?" for another number.
constexpr const char* loginPhaseName(int phase) {
    constexpr const char* names[kLoginPhaseCount] = {"connect", "tls", "bind", "verify", "unbind"};
    return phase >= 0 && phase < kLoginPhaseCount ? names[phase] : "?";
}

// The phases one login sequence reached, and the microseconds of each.
struct PhaseTimings {
    std::uint32_t reached = 0;                        // bit (1 << phase) per phase measured
    std::array<std::int64_t, kLoginPhaseCount> us{};  // microseconds; 0 when not reached

    bool has(int phase) const { return (reached >> phase) & 1u; }
    bool has(LoginPhase phase) const { return has(static_cast<int>(phase)); }
    std::int64_t of(LoginPhase phase) const { return us[static_cast<std::size_t>(phase)]; }
    void set(LoginPhase phase, std::int64_t value) {
        us[static_cast<std::size_t>(phase)] = value;
        reached |= 1u << static_cast<int>(phase);
    }
};

}  // namespace tarrow
