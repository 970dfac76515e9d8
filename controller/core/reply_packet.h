// Reading a client's reply packet: "R" + signed decimal code, or "R0" + error message.
//
// The control channel has no framing. A client sends exactly one reply per credential packet
// in one send of at most 1499 bytes, so every byte received while a packet is outstanding
// belongs to that reply. Rule for replies that TCP splits:
//  - a code reply ("R1", "R-9999") is complete as soon as what has arrived is a whole code:
//    the client's codes are a few bytes sent at once, never split in practice;
//  - an error reply ("R0" + message) can be longer than one segment, so it is complete when
//    no further byte has arrived for a short quiet period;
//  - a prefix that cannot yet be told ("R", "R-") waits for the quiet period as well, and is
//    not a reply if nothing completes it;
//  - anything that does not begin like a reply, or grows beyond 1499 bytes, is not a reply.
#pragma once

#include "common/link_protocol.h"
#include "report/model/run_report.h"

#include <cstdint>
#include <string_view>

namespace tarrow::ctrl {

// A reply is at most what the client's zero-terminated link buffer holds as text.
inline constexpr std::size_t kMaxReplyBytes = kMaxLinkTextChars;

// Success: code 1, the operation completed; Failed: any other code, no operation ran (for
// example -9999, -10000); Error: "R0" + message, the operation raised an error. The outcome
// kinds of every report.
using ReplyKind = tarrow::LoginOutcome;

enum class ReplyState {
    Complete,    // a whole code reply; take it now
    NeedsQuiet,  // an error reply, or a prefix: complete (or not a reply) after the quiet period
    Invalid,     // not a reply packet
};

// Classifies the bytes received so far for one outstanding packet.
ReplyState replyState(std::string_view bytes);

struct Reply {
    ReplyKind kind = ReplyKind::Error;
    std::int32_t code = 0;     // the code; 0 for an error reply
    std::string_view message;  // the error text (a view into the bytes given)
};

// Reads a finished reply; false when the bytes are not a reply packet.
bool parseReply(std::string_view bytes, Reply& out);

}  // namespace tarrow::ctrl
