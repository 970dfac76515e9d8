// report.json: the one writer of the report of a run, for the batch run and the controller
// alike. Every key name and the format number are here and nowhere else in C++; docs/report.md
// lists them with their units.
//
// To add figures:
// - a per-second column: see IntervalColumn in run_report.h (a flag, a field, one line in
//   the column table of report_writer.cpp);
// - a top-level section (say "load" of a paced run): a field in RunReport (an optional
//   struct, or a pointer to the figures), and one `if` in reportJson() that writes it;
//   a section only some runs have is left out when absent. Add the key to docs/report.md
//   and, when only a controlled run has it, to controlledOnlyKeys().
#pragma once

#include "common/host_counters.h"
#include "report/model/run_report.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarrow {
namespace monitor {
struct MonitorState;
}

// 1: the first; 2: one schema for both programs (docs/report.md, "Format").
constexpr int kReportFormat = 2;

struct LoginCounts {
    std::uint64_t performed = 0;  // logins with an outcome
    std::uint64_t successful = 0;
    std::uint64_t failed = 0;
    std::uint64_t errors = 0;
    std::uint64_t rejectedLines = 0;  // users-file lines not run
};

// What only a controlled run has: the clients, the leases without a reply, the outages.
struct ControlledFigures {
    std::string stoppedBy;
    std::uint64_t indeterminate = 0;  // leases that ended without a reply
    std::uint64_t packetsSent = 0;
    std::uint64_t handedAgain = 0;
    const LatencyHistogram* lagUs = nullptr;    // the clients' event lag
    const LatencyHistogram* replyUs = nullptr;  // packet sent to reply complete
    std::uint64_t clientsAsked = 0;
    std::uint64_t clientsReporting = 0;
    std::uint64_t timedReplies = 0;

    struct Client {
        std::string client;
        std::string timings;  // "yes", "no", "not asked", ...
        std::uint64_t successful = 0, failed = 0, errors = 0, indeterminate = 0, timed = 0;
        std::optional<std::int64_t> p50Us, p99Us, lagMaxUs;
        std::optional<double> lagMeanUs;
    };
    std::vector<Client> clients;

    struct Indeterminate {
        std::string user, client, reason;
        std::int64_t sinceStartUs = 0, wallMs = 0, heldUs = 0;
        bool handedAgain = false;
    };
    std::vector<Indeterminate> indeterminateLogins;

    struct Outage {
        std::int64_t firstFailureUs = 0, firstFailureWallMs = 0;
        std::string firstFailure;  // "R-9999" or the error text
        std::uint64_t failedInRow = 0;
        std::optional<std::int64_t> recoveredUs, recoveredWallMs, recoveryWindowUs, recoveryP99Us;
        std::uint64_t recoveryLogins = 0;
    };
    std::vector<Outage> outages;
    std::uint64_t outagesOmitted = 0;
};

// What only a paced batch run has (TarrowCli --batch with load options): each login's latency
// is timed from when it was due, so service time and schedule lag are figures of their own, and
// the "load" section says how the load was set and held (common/load/load_json.h builds it).
struct PacedFigures {
    const LatencyHistogram* serviceUs = nullptr;      // start to end
    const LatencyHistogram* scheduleLagUs = nullptr;  // due to start
    const nlohmann::ordered_json* load = nullptr;
};

// Everything report.json shows. The figures are referred to, not copied: they must outlive
// the call to reportJson.
struct RunReport {
    std::string program;  // "TarrowCli --batch", "TarrowCtrl"
    std::string usersFile;
    std::int64_t startWallMs = 0;  // ms since 1970 UTC
    std::int64_t elapsedUs = 0;
    bool interrupted = false;  // stopped by SIGINT or SIGTERM
    LoginCounts logins;
    const LoginLatencies* latencies = nullptr;
    const IntervalSeries* intervals = nullptr;
    const MessageCounts* messages = nullptr;
    // The run's settings as shown, in order.
    std::vector<std::pair<std::string, std::string>> settings;
    std::optional<HostCounters> hostStart, hostEnd;
    std::optional<ControlledFigures> controlled;
    // With --monitor: the directory's own counters (the "directory" section).
    const monitor::MonitorState* directory = nullptr;
    std::optional<PacedFigures> paced;
    // A capacity search (TarrowCli --find-capacity): the "capacity" section, as
    // common/capacity/capacity_json.h builds it.
    const nlohmann::ordered_json* capacity = nullptr;
};

// report.json's text: two-space indent, a line end at the end.
std::string reportJson(const RunReport& report);

// The keys only a controlled run's report has, as paths ("logins.indeterminate",
// "intervals[].clients", "clients"): what a batch report lacks and a comparison of the two
// leaves out.
const std::vector<std::string>& controlledOnlyKeys();

// The keys only a paced batch run's report has (PacedFigures), as paths.
const std::vector<std::string>& pacedOnlyKeys();

// Text for the report: valid UTF-8 stays as it is; text that is not (a single-byte code page,
// as users files and clients may send) is read as Latin-1, a character per byte, so that no
// byte is lost and the report stays valid JSON.
std::string reportString(std::string_view bytes);

// The directory libraries' settings as the environment gives them to this process:
// connect_timeout_ms, op_timeout_ms, starttls.
std::vector<std::pair<std::string, std::string>> directorySettings();

// The pieces, for their tests and for the live view.
nlohmann::ordered_json latencyJson(const LatencyHistogram& h);
nlohmann::ordered_json percentileCurveJson(const LatencyHistogram& h);

}  // namespace tarrow
