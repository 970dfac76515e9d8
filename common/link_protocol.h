// What the client and the controller agree on for discovery and the control channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarrow {

// UDP port the clients announce themselves to.
inline constexpr std::uint16_t kDiscoveryPort = 2308;
// UDP port the controller's answer goes to.
inline constexpr std::uint16_t kAnswerPort = 2309;
// TCP port of the control channel.
inline constexpr std::uint16_t kControlPort = 2308;

// The announcement and the answer alike: exactly these eight bytes, no terminator, no line end.
inline constexpr std::string_view kDiscover = "DISCOVER";

// First byte of a packet on the control channel.
inline constexpr char kCredentialPacket = 'U';  // controller to client: 'U' + a credential line
inline constexpr char kIgnoredPacket = 'F';     // controller to client: accepted, changes nothing
inline constexpr char kReplyPacket = 'R';       // client to controller: 'R' + code, or "R0" + error text

// The size of every datagram and packet buffer of the link, terminating zero included.
inline constexpr std::size_t kLinkBufferBytes = 1500;
// The most characters one datagram or packet carries: the buffer less its terminating zero.
inline constexpr std::size_t kMaxLinkTextChars = kLinkBufferBytes - 1;

}  // namespace tarrow
