// What a controller run counts. Every table is capped so that a long or hostile run cannot
// grow memory without limit; what does not fit is counted under one "other" entry.
#pragma once

#include "common/latency_histogram.h"
#include "controller/core/reply_packet.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace tarrow::ctrl {

// One recorded reply, as handed to the reply sink (the CSV writer).
struct ReplyRecord {
    std::int64_t wallMs = 0;      // when the reply was complete, ms since 1970 UTC
    std::string_view client;      // "address:port"
    std::string_view user;        // user name of the credential packet
    ReplyKind kind = ReplyKind::Error;
    std::int32_t code = 0;        // the code; 0 for an error reply
    std::string_view message;     // error text; empty unless kind == Error
    std::int64_t replyUs = 0;     // packet sent to last byte of the reply received
};

enum class DropReason { NotAReply, Unsolicited, TimedOut };
const char* dropReasonText(DropReason reason);

struct ClientCounts {
    std::uint64_t ok = 0;      // replies "R1"
    std::uint64_t failed = 0;  // replies with another code
    std::uint64_t errors = 0;  // replies "R0" + message
};

struct RunStats {
    std::uint64_t connections = 0;    // connections accepted over the run
    std::uint64_t refused = 0;        // connections refused at --max-clients or while stopping
    std::uint64_t disconnected = 0;   // connections the client closed (subset of connections)
    std::uint64_t dropped = 0;        // connections the controller dropped (subset of connections)
    std::uint64_t droppedNotAReply = 0;    // ... because the bytes were not a reply packet
    std::uint64_t droppedUnsolicited = 0;  // ... because bytes came with no packet outstanding
    std::uint64_t droppedTimedOut = 0;     // ... because the reply took too long
    std::uint64_t packetsSent = 0;    // credential packets sent
    std::uint64_t lostPackets = 0;    // packets whose client went away before replying (subset of sent)
    std::uint64_t ok = 0;             // replies with code 1 (subset of replies)
    std::uint64_t failed = 0;         // replies with another code (subset of replies)
    std::uint64_t errors = 0;         // error-message replies (subset of replies)
    std::uint64_t discoveryReceived = 0;  // datagrams received on the discovery port
    std::uint64_t discoveryAnswered = 0;  // of which answered with "DISCOVER"
    tarrow::LatencyHistogram replyTimes;  // packet sent to reply complete, us
    std::map<std::string, std::uint64_t, std::less<>> errorMessages;  // error text -> replies
    std::map<std::string, ClientCounts, std::less<>> perClient;       // "address:port" -> counts

    static constexpr std::size_t kMaxMessageTexts = 1000;
    static constexpr std::size_t kMaxClientsListed = 65536;
    static constexpr std::string_view kOtherMessages = "(other messages)";
    static constexpr std::string_view kOtherClients = "(other clients)";

    std::uint64_t replies() const { return ok + failed + errors; }
    void recordReply(const ReplyRecord& r);
    void recordDrop(DropReason reason);
};

}  // namespace tarrow::ctrl
