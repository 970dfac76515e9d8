// What the reports of a run (the batch run's, the controller's) count, plain C++: the
// latencies of the logins and of their phases, the outcome of each login per second, and
// the error texts. Fixed or capped memory however long the run.
#pragma once

#include "common/latency_histogram.h"
#include "common/login_phases.h"

#include <array>
#include <cstdint>
#include <map>
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

// One second of a run: the logins that ended in it and the latency of theirs.
struct IntervalSummary {
    std::int64_t second = 0;  // from the start of the run: 0 is the first second
    std::uint64_t logins = 0;
    std::uint64_t successful = 0;
    std::uint64_t failed = 0;
    std::uint64_t errors = 0;
    std::int64_t p50Us = 0;  // 0 when no login ended in the second
    std::int64_t p99Us = 0;
};

// Logins by the second they ended in. Only the running second keeps a histogram; each
// second before it is a summary of a few numbers.
class IntervalSeries {
public:
    explicit IntervalSeries(std::int64_t startUs) : startUs_(startUs) {}
    void record(std::int64_t endUs, LoginOutcome outcome, std::int64_t latencyUs);
    // Closes every second up to the one endUs falls in, that one included: the series then
    // covers the whole run, seconds without logins too.
    void finish(std::int64_t endUs);
    const std::vector<IntervalSummary>& seconds() const { return done_; }

private:
    void closeUpTo(std::int64_t second);  // closes the running second and the empty ones before `second`

    std::int64_t startUs_;
    std::vector<IntervalSummary> done_;
    IntervalSummary current_;
    LatencyHistogram currentLatency_;
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
