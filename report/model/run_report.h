// What the report of a run counts, plain C++: the outcome of each login, the latencies of the
// logins and of their phases, one series of per-second figures, and the error texts. Fixed or
// capped memory however long the run. The batch run and the controller fill the same types;
// report_writer.h turns them into report.json.
#pragma once

#include "common/latency_histogram.h"
#include "common/login_phases.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// success: the operation returned 1; failed: it returned another code; error: it threw
// (the directory call's failure text, such as "QVDSLogin returned -203").
enum class LoginOutcome { Success, Failed, Error };
const char* loginOutcomeText(LoginOutcome outcome);  // "success", "failed", "error"

// The latency of whole logins (execute as its caller sees it) and of each phase.
struct LoginLatencies {
    LatencyHistogram execute;
    std::array<LatencyHistogram, kLoginPhaseCount> phases;

    // Phases not reached are not counted.
    void record(std::int64_t executeUs, const PhaseTimings& timings);
    void merge(const LoginLatencies& other);
};

// The per-second columns that not every run has. A column a series was not made with is
// left out of the report. To add one: a flag here, a field in IntervalSummary, what fills
// it in IntervalSeries, and one line in report_writer.cpp's column table.
enum IntervalColumn : unsigned {
    kColumnIndeterminate = 1u << 0,  // leases that ended without a reply (controlled run)
    kColumnTimed = 1u << 1,          // logins that came with a latency (controlled run)
    kColumnClients = 1u << 2,        // clients connected at the end of the second (controlled run)
};
constexpr unsigned kControlledColumns = kColumnIndeterminate | kColumnTimed | kColumnClients;

// One second of a run: the logins that ended in it and the latency of theirs.
struct IntervalSummary {
    std::int64_t second = 0;  // from the start of the run: 0 is the first second
    std::uint64_t logins = 0;
    std::uint64_t successful = 0;
    std::uint64_t failed = 0;
    std::uint64_t errors = 0;
    // Percentiles of the logins with a latency; none (null in the report) when no such
    // login ended in the second: an empty second has no latency rather than a latency of 0.
    std::optional<std::int64_t> p50Us, p90Us, p99Us, maxUs;
    // Optional columns (IntervalColumn).
    std::uint64_t indeterminate = 0;
    std::uint64_t timed = 0;
    std::uint64_t clients = 0;
};

// Logins by the second they ended in. Only the running second keeps a histogram; each
// second before it is a summary of a few numbers. Times are microseconds since the start of
// the run and never go back (a time before the running second counts in it).
class IntervalSeries {
public:
    static constexpr std::size_t kMaxSeconds = 86'400;  // then seconds are only counted as omitted

    explicit IntervalSeries(unsigned columns = 0) : columns_(columns) {}
    unsigned columns() const { return columns_; }

    // latencyUs < 0: a login without a latency (a reply without timings), counted but not in
    // the percentiles.
    void record(std::int64_t atUs, LoginOutcome outcome, std::int64_t latencyUs);
    void indeterminate(std::int64_t atUs);
    void clients(std::int64_t atUs, std::uint64_t connected);
    // Closes every second the run had: a run of exactly 2 s has the seconds 0 and 1, a run
    // of 2.1 s the seconds 0 to 2. Later calls change nothing.
    void finish(std::int64_t endUs);

    const std::vector<IntervalSummary>& seconds() const { return done_; }
    // Seconds beyond kMaxSeconds, not listed.
    std::uint64_t secondsOmitted() const { return omitted_; }

private:
    IntervalSummary& at(std::int64_t atUs);  // the running second, after closing those before atUs
    void close();

    unsigned columns_;
    std::vector<IntervalSummary> done_;
    IntervalSummary current_;
    LatencyHistogram currentLatency_;
    std::uint64_t connected_ = 0;
    std::uint64_t omitted_ = 0;
    bool finished_ = false;
};

// Error texts and how often each came; past kMaxTexts different texts the rest are counted
// under kOtherTexts.
class MessageCounts {
public:
    static constexpr std::size_t kMaxTexts = 1000;
    static constexpr std::string_view kOtherTexts = "(other messages)";
    void add(std::string_view text);
    const std::map<std::string, std::uint64_t, std::less<>>& counts() const { return counts_; }

private:
    std::map<std::string, std::uint64_t, std::less<>> counts_;
};

}  // namespace tarrow
