#include "controller/core/run_stats.h"

namespace tarrow::ctrl {

const char* dropReasonText(DropReason reason) {
    switch (reason) {
    case DropReason::NotAReply: return "not a reply packet";
    case DropReason::Unsolicited: return "data with no packet outstanding";
    case DropReason::TimedOut: return "no reply in time";
    }
    return "?";
}

namespace {

// The entry for key, or the overflow entry once the table is full.
template <typename Map>
typename Map::mapped_type& cappedEntry(Map& map, std::string_view key, std::size_t cap,
                                       std::string_view other) {
    if (auto it = map.find(key); it != map.end()) return it->second;
    if (map.size() + 1 >= cap) return map[std::string(other)];
    return map.emplace(std::string(key), typename Map::mapped_type{}).first->second;
}

}  // namespace

void RunStats::recordReply(const ReplyRecord& r) {
    ClientCounts& c = cappedEntry(perClient, r.client, kMaxClientsListed, kOtherClients);
    switch (r.kind) {
    case ReplyKind::Success: ++ok; ++c.ok; break;
    case ReplyKind::Failed: ++failed; ++c.failed; break;
    case ReplyKind::Error:
        ++errors;
        ++c.errors;
        ++cappedEntry(errorMessages, r.message, kMaxMessageTexts, kOtherMessages);
        break;
    }
    replyTimes.record(r.replyUs);
}

void RunStats::recordDrop(DropReason reason) {
    ++dropped;
    switch (reason) {
    case DropReason::NotAReply: ++droppedNotAReply; break;
    case DropReason::Unsolicited: ++droppedUnsolicited; break;
    case DropReason::TimedOut: ++droppedTimedOut; break;
    }
}

}  // namespace tarrow::ctrl
