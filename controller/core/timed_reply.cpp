#include "controller/core/timed_reply.h"

namespace tarrow::ctrl {

ReplyState timedReplyState(std::string_view bytes) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) {
        // A whole code ("R1") still waits for its record; a prefix keeps its own rules.
        const ReplyState text = replyState(bytes);
        return text == ReplyState::Invalid ? text : ReplyState::NeedsQuiet;
    }
    Reply reply;
    if (!parseReply(bytes.substr(0, nul), reply)) return ReplyState::Invalid;
    timings::LoginTimings ignored;
    std::size_t consumed = 0;
    const std::string_view record = bytes.substr(nul + 1);
    switch (timings::parseRecord(record, ignored, consumed)) {
    case timings::RecordState::Incomplete: return ReplyState::NeedsQuiet;
    case timings::RecordState::Invalid: return ReplyState::Invalid;
    case timings::RecordState::Complete: break;
    }
    return consumed == record.size() ? ReplyState::Complete : ReplyState::Invalid;
}

bool parseTimedReply(std::string_view bytes, Reply& out, timings::LoginTimings& timings, bool& timed) {
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) {
        timed = false;
        return parseReply(bytes, out);
    }
    std::size_t consumed = 0;
    const std::string_view record = bytes.substr(nul + 1);
    if (!parseReply(bytes.substr(0, nul), out) ||
        timings::parseRecord(record, timings, consumed) != timings::RecordState::Complete ||
        consumed != record.size())
        return false;
    timed = true;
    return true;
}

}  // namespace tarrow::ctrl
