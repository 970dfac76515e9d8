// Every human- and machine-readable figure the controller prints.
#pragma once

#include "common/report_text.h"
#include "controller/core/run_stats.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace tarrow::ctrl {

// Times and CSV fields as the client's reports write them too (common/report_text.h).
using tarrow::csvField;
using tarrow::formatMs;
using tarrow::formatUtc;

// The column names of the CSV file, with its line end.
std::string csvHeader();
// One reply as a CSV row: time, client, user, outcome, code, message, reply_ms; with its line end.
void appendCsvRow(std::string& out, const ReplyRecord& record);

// Once a second: clients connected, packets sent, replies ok / failed / error, replies per
// second over the last interval.
class ProgressMeter {
public:
    explicit ProgressMeter(std::int64_t startUs) : startUs_(startUs), lastUs_(startUs) {}
    // A progress line when a second or more has passed since the last one; else empty.
    std::string tick(std::int64_t nowUs, const RunStats& stats, std::size_t clients);

private:
    std::int64_t startUs_;
    std::int64_t lastUs_;
    std::uint64_t lastReplies_ = 0;
};

// The end-of-run summary.
void writeSummary(std::ostream& out, const RunStats& stats, std::int64_t elapsedUs,
                  const std::string& stopReason);

}  // namespace tarrow::ctrl
