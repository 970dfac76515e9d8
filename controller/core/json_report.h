// DIR/report.json of a controlled run: the run's figures handed to the one report writer
// (report/model/report_writer.h). Keys and units: docs/report.md.
#pragma once

#include "common/host_counters.h"
#include "controller/core/run_stats.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarrow::monitor {
struct MonitorState;
}

namespace tarrow::ctrl {

class FleetPacer;
class FleetStepRunner;

struct ReportContext {
    std::int64_t elapsedUs = 0;  // run time
    std::string stopReason;      // what stopped the run
    bool interrupted = false;    // ... SIGINT or SIGTERM
    std::string usersFile;
    std::uint64_t rejectedLines = 0;  // users-file lines skipped (fewer than five fields)
    std::int64_t startWallMs = 0;     // when the run started, ms since 1970 UTC
    // The run's settings as shown in the report (users file, limits, time-outs), in order.
    std::vector<std::pair<std::string, std::string>> settings;
    // The machine's TCP counters at the start and at the end; unreadable without them.
    std::optional<HostCounters> hostStart;
    std::optional<HostCounters> hostEnd;
    // With --monitor: the directory's counters as read so far.
    const monitor::MonitorState* directory = nullptr;
    // With a rate: the paced logins, timed from when each was due (the "load" section).
    const FleetPacer* pacer = nullptr;
    std::int64_t pacedUntilUs = 0;  // ... monotonic: the report's time, or when the run stopped
    // A capacity search (--find-capacity): the paced logins of every step, timed from when
    // each was due, and once it has ended its "capacity" section. No "load" section: each step
    // had a schedule of its own.
    const FleetStepRunner* capacityLogins = nullptr;
    const nlohmann::ordered_json* capacity = nullptr;
};

// The report as indented JSON text with a final line feed.
std::string reportJson(const RunStats& stats, const ReportContext& context);

}  // namespace tarrow::ctrl
