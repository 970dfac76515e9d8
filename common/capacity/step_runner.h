// One step of a capacity search, as whatever puts the load on runs it: logins at a constant
// rate for up to a time, and the figures of that step. The search knows only this interface,
// so that one client (TarrowCli) and a fleet can run its steps alike, and tests can run them
// on a simulated directory in virtual time.
#pragma once

#include "common/latency_histogram.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tarrow::capacity {

struct StepPlan {
    double perSecond = 0;       // the constant rate of the step, evenly spaced
    std::int64_t maxUs = 0;     // the step's due times end this long after its start
    std::int64_t settleUs = 0;  // logins due this early in the step run, but are not counted
};

// What a step did. Counts cover the whole step; the histograms and the counted logins only
// the steady part, the logins due from settleUs on.
struct StepFigures {
    std::uint64_t due = 0;         // logins due in the step
    std::uint64_t started = 0;     // of them, started
    std::uint64_t ended = 0;       // of them, ended (successful or failed)
    std::int64_t durationUs = 0;   // from the step's start to its last login's end (so far)
    std::int64_t steadyUs = 0;     // the steady part's length so far: due times from settleUs on
    std::uint64_t counted = 0;     // logins of the steady part that ended
    std::uint64_t failed = 0;      // of counted, logins that failed (an error or a refusal)
    LatencyHistogram latency;      // counted successful logins: from due to end
    LatencyHistogram service;      // counted logins: from start to end
    LatencyHistogram scheduleLag;  // counted logins: from due to start
    // The load generator's own lag over the steady part: the mean delay of a start while a
    // worker was free (common/load/load_timeline.h); 0 when the runner has no such figure.
    std::int64_t ownLagMeanUs = 0;
    int workers = 0;  // that the runner had for the step (0: it does not say)
    // What the workers are, as a result names them when they ran out ("the fleet: 3 paced
    // workstations"); empty: "N workers".
    std::string workersText;
    bool interrupted = false;  // the step was stopped from outside: the search ends
    std::string fault;         // the step could not run (no login could start): the search ends

    // Counts one login of the steady part that ended: counted, failed or its latency, its
    // service time and schedule lag (times on the step's clock).
    void countSteady(std::int64_t dueUs, std::int64_t startUs, std::int64_t endUs, bool succeeded) {
        ++counted;
        if (succeeded) latency.record(endUs - dueUs);
        else
            ++failed;
        service.record(endUs - startUs);
        scheduleLag.record(startUs - dueUs);
    }
};

class StepRunner {
public:
    virtual ~StepRunner() = default;
    // Runs plan and returns its figures. Calls keepGoing with the figures so far now and
    // then (at least every second of the step) and ends the step soon after it returns false;
    // logins under way end first.
    virtual StepFigures runStep(const StepPlan& plan,
                                const std::function<bool(const StepFigures&)>& keepGoing) = 0;
};

}  // namespace tarrow::capacity
