// DIR/report.json of a controlled run. Its keys and units are listed in controller/README.md;
// the keys a batch run's report has mean the same here.
#pragma once

#include "controller/core/run_stats.h"

#include <cstdint>
#include <string>

namespace tarrow::ctrl {

struct ReportContext {
    std::int64_t elapsedUs = 0;       // run time
    std::string stopReason;           // what stopped the run
    std::uint64_t rejectedLines = 0;  // users-file lines skipped (fewer than five fields)
    std::int64_t startWallMs = 0;     // when the run started, ms since 1970 UTC
};

// The report as indented JSON text with a final line feed. Texts from the clients and the
// users file are single-byte characters; they are written as Latin-1 turned into UTF-8.
std::string reportJson(const RunStats& stats, const ReportContext& context);

}  // namespace tarrow::ctrl
