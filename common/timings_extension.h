// The timings extension of the control channel, version 1: how our controller asks a client
// for the timings of its logins, how the client accepts, and the record that then follows
// each reply. The full protocol, beside the plain packets, is in docs/control-channel.md.
//
// Why the bytes are what they are:
//  - The request is an F packet, which a client that does not know the extension ignores
//    without a trace. A client never speaks the extension unless asked on this connection.
//  - Everything the extension adds in the client-to-controller direction begins with a zero
//    byte. A reply packet begins with "R" and its text can never hold a zero byte (it passes
//    through a zero-terminated buffer), so the controller tells extension bytes from reply
//    bytes at the first byte, and knows that a reply has ended at the zero byte.
//  - A record ends with a line feed, so that it is complete without waiting for silence.
#pragma once

#include "common/login_phases.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarrow::timings {

// Versioned token: the payload of the request and of the acceptance.
inline constexpr std::string_view kToken = "tarrow-timings/1";
// Controller to client: "F" + token.
inline constexpr std::string_view kRequestPacket = "Ftarrow-timings/1";
// Client to controller, once, before anything else it sends after the request: NUL + token + LF.
inline constexpr std::string_view kAcceptance{"\0tarrow-timings/1\n", 18};
// A record (after its zero byte, line feed included) is never longer than this.
inline constexpr std::size_t kMaxRecordBytes = 256;

// What the client measured for one login. -1 means not measured (a figure the client could
// not take); a phase the login did not reach is absent from phases.
struct LoginTimings {
    std::int64_t executeUs = -1;  // the whole login as its caller saw it
    std::int64_t lagUs = -1;      // from when the event timer was due to when the login started
    PhaseTimings phases;          // the phases of the login sequence it reached
};

// How many bytes at the front of a packet the client received are the request: the length
// of kRequestPacket, or 0 when the packet does not begin with it.
std::size_t requestLength(std::string_view packet);

// Appends NUL + record + LF: "\0e=523 l=1003 c=120 b=300 v=50 u=40\n". Figures that are -1
// and phases not reached are left out; other negative figures are written as 0.
void appendRecord(std::string& out, const LoginTimings& timings);

enum class RecordState {
    Incomplete,  // no line feed yet, and still short enough to become a record
    Complete,    // a whole record; its fields are read
    Invalid,     // too long, or not of the record's form
};

// Reads one record from the bytes after its zero byte. On Complete, consumed holds the
// record's length with its line feed. Fields with keys it does not know are skipped, so that
// a later minor addition does not break an older controller.
RecordState parseRecord(std::string_view bytes, LoginTimings& out, std::size_t& consumed);

}  // namespace tarrow::timings
