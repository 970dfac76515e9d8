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

// The columns of DIR/logins.csv: the --csv columns, then the client's timings in us
// (execute_us, lag_us, connect_us, tls_us, bind_us, verify_us, unbind_us; empty when not
// measured). An indeterminate login is a row too, with outcome "indeterminate", the reason as
// its message and no reply time, so that the rows account for every packet sent.
std::string loginsCsvHeader();
void appendLoginsCsvRow(std::string& out, const ReplyRecord& record);
void appendLoginsCsvRow(std::string& out, const LeaseRecord& record);
const char* outcomeText(ReplyKind kind);  // "success", "failed", "error"

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
