// The command line of TarrowCli, parsed into one plain struct.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/capacity/capacity_search.h"
#include "common/link_protocol.h"
#include "common/load/load_schedule.h"

namespace tarrow::cli {

struct CliOptions {
    // The INI file; empty: the program path with ".INI" (letter case ignored when absent).
    std::string iniPath;
    // Run one batch run over the users file the INI names, then exit.
    bool batch = false;
    // With --batch: the folder that gets report.json and logins.csv (empty: no report).
    std::string reportDir;
    bool help = false;
    // Test options: the UDP port announcements go to, and the one answers arrive on (0: any).
    std::uint16_t discoverPort = kDiscoveryPort;
    std::uint16_t answerPort = kAnswerPort;
    bool answerPortGiven = false;
    // Test option: the TCP port of the control channel on the controller that answered.
    std::uint16_t controlPort = kControlPort;
    // --no-timings: ignore a controller's timings request, as a client without the
    // extension does (a reply is then only the described reply).
    bool offerTimings = true;
    // With --batch: the directory whose own counters are read once a second (--monitor),
    // its bind DN (--monitor-bind; the password from TARROW_MONITOR_PASSWORD), and the live
    // page with /metrics on 127.0.0.1 (--web PORT, 0: any free port; -1: none), kept up
    // --web-hold seconds after the run.
    std::string monitorUri;
    std::string monitorBindDn;
    std::int32_t webPort = -1;
    std::int32_t webHoldS = 0;
    // With --batch: the chosen load (--workers, --rate, --rate-file, --arrivals, --seed,
    // --duration); none: one login after another on the form's user, as without them.
    std::optional<tarrow::load::LoadPlan> load;
    // With --batch: --find-capacity OBJECTIVE with --from, --precision, --confidence and
    // --max-time: a capacity search instead of one run. load then only holds --workers.
    std::optional<tarrow::capacity::SearchSettings> capacity;
};

// The options, or the text of what is wrong with them.
struct ParsedOptions {
    std::optional<CliOptions> options;
    std::string error;
};

ParsedOptions parseCliOptions(const std::vector<std::string>& args);

// The text of --help.
std::string cliUsage();

}  // namespace tarrow::cli
