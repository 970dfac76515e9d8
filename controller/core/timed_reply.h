// Reading a reply from a client that reports timings: the reply text, a zero byte, then the
// timing record up to its line feed (common/timings_extension.h). The zero byte ends the
// reply text, which can never hold one, and the line feed ends the whole, so such a reply is
// complete without waiting for a quiet period.
#pragma once

#include "common/timings_extension.h"
#include "controller/core/reply_packet.h"

#include <string_view>

namespace tarrow::ctrl {

// The most bytes one timed reply can have: the longest reply text, its zero byte, a record.
inline constexpr std::size_t kMaxTimedReplyBytes = kMaxReplyBytes + 1 + timings::kMaxRecordBytes;

// Classifies the bytes received so far for one outstanding packet of a timed client:
//  - Complete once reply text, zero byte and a whole record have arrived, and nothing else;
//  - NeedsQuiet while the record is still to come (after the quiet period, parseTimedReply
//    takes a reply text that came without its record, and refuses a partial record);
//  - Invalid for what is not a reply text, a bad record, or bytes after the record.
ReplyState timedReplyState(std::string_view bytes);

// Reads a finished timed reply. timed tells whether a record came with it; false when the
// bytes are not a reply.
bool parseTimedReply(std::string_view bytes, Reply& out, timings::LoginTimings& timings, bool& timed);

}  // namespace tarrow::ctrl
