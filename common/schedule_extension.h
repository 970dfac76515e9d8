// The schedule extension of the control channel, version 1: a controller that paces the
// fleet asks a client to run every credential packet at once, without its random delay, so
// that the controller decides when each login starts. Asked only of a client that accepted
// the timings extension on the same connection: the reply's record (its lag and its login
// time) is what times a paced login. Bytes and reasons: docs/control-channel.md.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarrow::schedule {

inline constexpr std::string_view kToken = "tarrow-schedule/1";
// Controller to client: "F" + token, an F packet that a client without the extension ignores.
inline constexpr std::string_view kRequestPacket = "Ftarrow-schedule/1";
// Client to controller, after the timings acceptance: NUL + token + LF.
inline constexpr std::string_view kAcceptance{"\0tarrow-schedule/1\n", 19};

// How many bytes at the front of a packet are the request: its length, or 0.
inline std::size_t requestLength(std::string_view packet) {
    return packet.substr(0, kRequestPacket.size()) == kRequestPacket ? kRequestPacket.size() : 0;
}

}  // namespace tarrow::schedule
