// The capacity search: the highest constant login rate at which a directory meets an
// objective. A warm-up, then steps at doubling rates from a starting rate until one fails,
// then bisection of the bracket until it is narrower than the precision. Each step runs until
// the share test (share_verdict.h) decides, over the logins after its settling time. Time is
// the steps' own durations, so that the search runs alike on real and on virtual time.
#pragma once

#include "common/capacity/objective.h"
#include "common/capacity/share_verdict.h"
#include "common/capacity/step_runner.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarrow::capacity {

struct SearchSettings {
    Objective objective;
    double fromPerSecond = 10;             // the first rate of the bracket
    double precisionPct = 2;               // the bracket's width at the end, in percent of its low end
    double confidence = 0.95;              // of each step's one-sided test
    std::int64_t maxTimeUs = 180'000'000;  // the whole search, warm-up included
    std::int64_t warmUpUs = 2'000'000;     // at the first rate, not judged
    std::int64_t settleUs = 1'000'000;     // the start of each step that is not counted
    // A step meets the objective only after this much steady time, so that a rate a little
    // over the capacity has time to build the queue that fails it.
    std::int64_t minSteadyUs = 2'000'000;
    std::int64_t maxStepUs = 45'000'000;  // a step not decided by then failed
    double maxPerSecond = 1'000'000;      // the bracket stops doubling there
};

// The settings' fault, or empty: precision above 0 and at most 100 %, confidence from 0.5 to
// below 1, a first rate within the rates a step may offer, a time bound of at least 1 s.
std::string settingsError(const SearchSettings& s);

// One step as the report shows it.
struct StepRecord {
    double offeredPerSecond = 0;
    std::uint64_t due = 0, started = 0, ended = 0;  // over the whole step
    std::int64_t durationUs = 0;
    std::uint64_t counted = 0;      // logins of the steady part
    std::uint64_t failed = 0;       // of counted
    std::uint64_t over = 0;         // of counted, over the bound (failed ones too without an errors part)
    PercentileInterval percentile;  // the objective's, over counted successful logins
    std::int64_t p50Us = 0;
    std::int64_t serviceP50Us = 0;
    std::int64_t servicePctUs = 0;      // service time (start to end) at the objective's percentile
    std::int64_t scheduleLagPctUs = 0;  // schedule lag (due to start) at the objective's percentile
    std::int64_t ownLagMeanUs = 0;
    int workers = 0;
    std::string workersText;  // as StepFigures::workersText
    Verdict verdict = Verdict::Undecided;
    // A step that failed because the load generator could not offer the rate, and what ran
    // out; empty when the directory was the limit.
    std::string generatorLimit;
    double throughputPerSecond() const {
        return durationUs > 0 ? static_cast<double>(ended) * 1e6 / static_cast<double>(durationUs) : 0;
    }
};

enum class Outcome {
    Found,        // a rate met the objective and a higher one failed because of the directory
    AtLeast,      // a rate met it; what stopped the search was not the directory
    None,         // even the first rate failed
    Interrupted,  // stopped from outside before any rate met it
};

struct SearchResult {
    Outcome outcome = Outcome::None;
    std::optional<double> highestMet;
    std::optional<double> lowestFailed;
    std::optional<double> knee;  // where latency against rate bends, when that is clear
    std::string reason;          // why AtLeast or None: what ran out or failed
    bool precisionReached = false;
    bool timeRanOut = false;
    std::int64_t elapsedUs = 0;
    std::optional<StepRecord> warmUp;
    std::vector<StepRecord> steps;  // in the order they ran
};

// Runs the search; onStep sees each step as it ends (may be empty).
SearchResult searchCapacity(StepRunner& runner, const SearchSettings& settings,
                            const std::function<void(const StepRecord&)>& onStep = {});

// Where the latency against rate bends: the highest rate whose median stays within 1.5 times
// that of the lowest rate, below a step whose median is at least twice it. None when the
// steps do not show it.
std::optional<double> kneeOf(const std::vector<StepRecord>& steps);

// The program's exit status for a search: 0 with a capacity or a lower bound, 1 when even the
// first rate failed, a step could not run, or the search was interrupted first.
int exitStatus(const SearchResult& result);

}  // namespace tarrow::capacity
