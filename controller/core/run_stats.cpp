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
typename Map::mapped_type& cappedEntry(Map& map, std::string_view key, std::size_t cap, std::string_view other) {
    if (auto it = map.find(key); it != map.end()) return it->second;
    if (map.size() + 1 >= cap) return map[std::string(other)];
    return map.emplace(std::string(key), typename Map::mapped_type{}).first->second;
}

}  // namespace

const char* leaseEndText(LeaseEnd why) {
    switch (why) {
    case LeaseEnd::ConnectionClosed: return "connection closed";
    case LeaseEnd::NotAReply: return "not a reply packet";
    case LeaseEnd::TimedOut: return "no reply in time";
    case LeaseEnd::RunStopped: return "run stopped";
    }
    return "?";
}

ClientCounts& RunStats::clientEntry(std::string_view client) {
    return cappedEntry(perClient, client, kMaxClientsListed, kOtherClients);
}

void RunStats::recordReply(const ReplyRecord& r) {
    ClientCounts& c = r.counts ? *r.counts : clientEntry(r.client);
    std::int64_t loginUs = -1;
    if (r.timings) {
        loginUs = r.timings->executeUs;
        logins.add(*r.timings);
        ++c.timedReplies;
        if (!c.timed && clientsWithHistogram < kMaxClientsTimed) {
            c.timed = std::make_unique<ClientTimingStats>();
            ++clientsWithHistogram;
        }
        if (c.timed) c.timed->add(*r.timings);
    }
    intervals.record(r.sinceStartUs, r.kind, loginUs);
    outages.reply(r.sinceStartUs, r.wallMs, r.kind == ReplyKind::Success, r.code, r.message, loginUs);
    switch (r.kind) {
    case ReplyKind::Success:
        ++ok;
        ++c.ok;
        break;
    case ReplyKind::Failed:
        ++failed;
        ++c.failed;
        break;
    case ReplyKind::Error:
        ++errors;
        ++c.errors;
        errorMessages.add(r.message);
        break;
    }
    replyTimes.record(r.replyUs);
}

void RunStats::recordIndeterminate(const LeaseRecord& r) {
    ++lostPackets;
    ++(r.counts ? *r.counts : clientEntry(r.client)).indeterminate;
    intervals.indeterminate(r.sinceStartUs);
    if (indeterminateLogins.size() < kMaxIndeterminateListed)
        indeterminateLogins.push_back({std::string(r.client), std::string(r.user), r.why, r.sinceStartUs,
                                       r.wallMs, r.heldUs, r.handedAgain});
}

void RunStats::recordTimingsSupport(std::string_view client, TimingsSupport support) {
    clientEntry(client).timings = support;
}

void RunStats::finish(std::int64_t endSinceStartUs) {
    intervals.finish(endSinceStartUs);
    outages.finish(endSinceStartUs);
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
