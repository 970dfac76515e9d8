// Everything a controller run is told: command-line options with their defaults.
#pragma once

#include "common/capacity/capacity_search.h"
#include "common/link_protocol.h"
#include "common/load/load_schedule.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarrow::ctrl {

struct CtrlSettings {
    std::string iniPath;                    // --ini; empty: "TarrowCtrl.ini" beside the program
    std::string csvPath;                    // --csv; empty: no per-reply rows
    std::uint64_t stopAfterReplies = 0;     // --count; 0: no limit
    std::int64_t stopAfterMs = 0;           // --duration (given in seconds); 0: no limit
    std::int64_t replyTimeoutMs = 150'000;  // --reply-timeout (seconds): packet sent to reply complete
    std::int64_t replyQuietMs = 50;         // --reply-quiet-ms: silence that ends an error-message reply
    std::uint32_t maxClients = 4096;        // --max-clients: connections beyond this are refused
    std::uint16_t discoveryPort = kDiscoveryPort;  // --discovery-port: UDP port where "DISCOVER" is received
    std::uint16_t answerPort = kAnswerPort;        // --answer-port: UDP port the answer goes to
    std::uint16_t controlPort = kControlPort;      // --control-port: TCP listening port
    bool quiet = false;                            // --quiet: no progress lines
    std::string reportDir;             // --report: folder for report.json and logins.csv; empty: none
    bool askTimings = true;            // --no-timings: never send the timings request
    std::int64_t timingsWaitMs = 250;  // --timings-wait-ms: wait for the acceptance before the first packet
    std::uint64_t outageMinFailures = 3;  // --outage-min-failures: unsuccessful replies in a row that make an outage
    std::int32_t webPort = -1;   // --web: port of the live view on 127.0.0.1 (0: any free one); -1: none
    std::int64_t webHoldMs = 0;  // --web-hold (seconds): the live view and /metrics stay up after the run
    std::string monitorUri;      // --monitor: the directory whose counters are read; empty: none
    std::string monitorBindDn;   // --monitor-bind: its bind DN; empty: anonymous
    // --rate, --rate-file, --arrivals, --seed: the controller paces the clients that accept
    // the schedule extension; none: every client keeps its own delays.
    std::optional<load::LoadPlan> pace;
    // --find-capacity OBJECTIVE with --from, --precision, --confidence, --max-time: a capacity
    // search over the fleet instead of one run. pace is then set too (the schedule extension
    // is asked for), and the engine paces in the search's steps.
    std::optional<capacity::SearchSettings> capacity;
    std::uint32_t capacityClients = 1;  // --clients: paced clients the search waits for first
    bool pacedInSteps() const { return capacity.has_value(); }
};

struct ShowHelp {};
struct UsageError {
    std::string message;
};
using ParseResult = std::variant<CtrlSettings, ShowHelp, UsageError>;

// Parses the arguments after the program name. Ports may be 0 (any free port).
ParseResult parseCommandLine(const std::vector<std::string>& args);

// The --help text.
std::string usageText();

// Descriptors the controller keeps for itself beside its clients: standard streams, the
// listener, the discovery socket, the CSV and report files, the event loop's own.
inline constexpr std::uint64_t kReservedDescriptors = 32;

// The most clients that fit the descriptor limit (one descriptor each): maxClients when they
// fit, otherwise the limit less the reserved ones (at least 1).
std::uint32_t clientsWithinDescriptors(std::uint32_t maxClients, std::uint64_t descriptorLimit);

}  // namespace tarrow::ctrl
