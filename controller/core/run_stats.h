// What a controller run counts. Every table is capped so that a long or hostile run cannot
// grow memory without limit; what does not fit is counted under one "other" entry.
#pragma once

#include "common/latency_histogram.h"
#include "common/timings_extension.h"
#include "controller/core/login_timing_stats.h"
#include "controller/core/outage_tracker.h"
#include "controller/core/reply_packet.h"
#include "report/model/run_report.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow::ctrl {

struct ClientCounts;

// One recorded reply, as handed to the reply sink (the CSV writer).
struct ReplyRecord {
    std::int64_t wallMs = 0;  // when the reply was complete, ms since 1970 UTC
    std::string_view client;  // "address:port"
    std::string_view user;    // user name of the credential packet
    ReplyKind kind = ReplyKind::Error;
    std::int32_t code = 0;                           // the code; 0 for an error reply
    std::string_view message;                        // error text; empty unless kind == Error
    std::int64_t replyUs = 0;                        // packet sent to last byte of the reply received
    std::int64_t sinceStartUs = 0;                   // when the reply was complete, since the run's start
    const timings::LoginTimings* timings = nullptr;  // the client's record; null without one
    ClientCounts* counts = nullptr;  // the client's entry (RunStats::clientEntry); null: looked up
};

enum class DropReason { NotAReply, Unsolicited, TimedOut };
const char* dropReasonText(DropReason reason);

// Why a lease (a credential packet sent) ended without a reply: the login's outcome is unknown.
enum class LeaseEnd { ConnectionClosed, NotAReply, TimedOut, RunStopped };
const char* leaseEndText(LeaseEnd why);  // "connection closed", ..., "run stopped"

// One lease that ended without a reply, as handed to the reply sink.
struct LeaseRecord {
    std::int64_t wallMs = 0;        // when the lease ended, ms since 1970 UTC
    std::int64_t sinceStartUs = 0;  // the same moment, since the run's start
    std::string_view client;
    std::string_view user;
    LeaseEnd why = LeaseEnd::ConnectionClosed;
    std::int64_t heldUs = 0;         // packet sent to the end of the lease
    bool handedAgain = false;        // the credential goes out once more
    ClientCounts* counts = nullptr;  // the client's entry (RunStats::clientEntry); null: looked up
};

struct IndeterminateLogin {
    std::string client;
    std::string user;
    LeaseEnd why = LeaseEnd::ConnectionClosed;
    std::int64_t sinceStartUs = 0;
    std::int64_t wallMs = 0;
    std::int64_t heldUs = 0;
    bool handedAgain = false;
};

struct ClientCounts {
    std::uint64_t ok = 0;             // replies "R1"
    std::uint64_t failed = 0;         // replies with another code
    std::uint64_t errors = 0;         // replies "R0" + message
    std::uint64_t indeterminate = 0;  // leases that ended without a reply
    TimingsSupport timings = TimingsSupport::NotAsked;
    std::uint64_t timedReplies = 0;            // replies with a record (subset of ok + failed + errors)
    std::unique_ptr<ClientTimingStats> timed;  // from its first record on, while capped
};

struct RunStats {
    std::uint64_t connections = 0;         // connections accepted over the run
    std::uint64_t refused = 0;             // connections refused at --max-clients or while stopping
    std::uint64_t disconnected = 0;        // connections the client closed (subset of connections)
    std::uint64_t dropped = 0;             // connections the controller dropped (subset of connections)
    std::uint64_t droppedNotAReply = 0;    // ... because the bytes were not a reply packet
    std::uint64_t droppedUnsolicited = 0;  // ... because bytes came with no packet outstanding
    std::uint64_t droppedTimedOut = 0;     // ... because the reply took too long
    std::uint64_t packetsSent = 0;         // credential packets sent
    std::uint64_t lostPackets = 0;  // indeterminate: leases that ended without a reply (subset of sent)
    std::uint64_t handedAgain = 0;  // packets that carried an indeterminate credential again (subset of sent)
    std::uint64_t ok = 0;           // replies with code 1 (subset of replies)
    std::uint64_t failed = 0;       // replies with another code (subset of replies)
    std::uint64_t errors = 0;       // error-message replies (subset of replies)
    std::uint64_t discoveryReceived = 0;                         // datagrams received on the discovery port
    std::uint64_t discoveryAnswered = 0;                         // of which answered with "DISCOVER"
    tarrow::LatencyHistogram replyTimes;                         // packet sent to reply complete, us
    tarrow::MessageCounts errorMessages;                         // error text -> replies
    std::map<std::string, ClientCounts, std::less<>> perClient;  // "address:port" -> counts
    std::uint64_t clientsAsked = 0;                              // connections sent the timings request
    std::uint64_t clientsReporting = 0;    // ... of them that accepted it (subset of clientsAsked)
    std::size_t clientsWithHistogram = 0;  // per-client entries that hold a latency histogram
    std::uint64_t untimedReplies = 0;      // replies of accepting clients without a record
    LoginTimingStats logins;               // the clients' own measurements, merged
    tarrow::IntervalSeries intervals{tarrow::kControlledColumns};  // per second of the run
    OutageTracker outages;                                // runs of failures and the recoveries after them
    std::vector<IndeterminateLogin> indeterminateLogins;  // the first kMaxIndeterminateListed

    static constexpr std::size_t kMaxClientsListed = 65536;
    static constexpr std::size_t kMaxClientsTimed = 4096;  // clients with a latency histogram
    static constexpr std::size_t kMaxIndeterminateListed = 1000;
    static constexpr std::int64_t kRecoveryWindowUs = 5'000'000;

    explicit RunStats(std::uint64_t outageMinFailures = 3) : outages(outageMinFailures, kRecoveryWindowUs) {}
    static constexpr std::string_view kOtherClients = "(other clients)";

    std::uint64_t replies() const { return ok + failed + errors; }
    // The entry of a client, or the one of kOtherClients once the table is full. Entries are
    // never removed and a client's entry never changes, so a caller may keep the reference
    // for the client's later records instead of looking it up with each.
    ClientCounts& clientEntry(std::string_view client);
    void recordReply(const ReplyRecord& r);
    void recordDrop(DropReason reason);
    void recordIndeterminate(const LeaseRecord& r);
    // What the controller learnt of a client's timings (kept per listed client).
    void recordTimingsSupport(std::string_view client, TimingsSupport support);
    // The per-second table and the outages up to the end of the run.
    void finish(std::int64_t endSinceStartUs);
};

}  // namespace tarrow::ctrl
