// TarrowCli --batch --find-capacity: the capacity search (common/capacity) with each step a
// paced batch run over the users file at the step's rate. Per-login log lines are left out
// (a search runs tens of thousands of logins); errors of the users file stay on standard
// output, one line per step goes to standard error, and standard output ends with the
// result line.
#pragma once

#include "client/app/TrwU.h"
#include "client/cli/console_output.h"
#include "client/report/batch_report.h"
#include "client/ui/batch_observer.h"
#include "common/capacity/capacity_search.h"

#include <atomic>
#include <optional>

namespace tarrow::cli {

// Runs the steps the search asks for as paced batch runs of form. Every login is passed on to
// watch (the report and live view), which sees one run from the first step to the last.
class PacedStepRunner : public capacity::StepRunner {
public:
    // workers: of every step; none: enough for logins of 50 ms at the step's rate (1 to 64).
    PacedStepRunner(TfrmTrwMain& form, ConsoleOutput& out, std::optional<int> workers, BatchObserver* watch,
                    const std::atomic<bool>& stop)
        : form_(form), out_(out), workers_(workers), watch_(watch), stop_(stop) {}

    capacity::StepFigures runStep(const capacity::StepPlan& plan,
                                  const std::function<bool(const capacity::StepFigures&)>& keepGoing) override;

private:
    TfrmTrwMain& form_;
    ConsoleOutput& out_;
    std::optional<int> workers_;
    BatchObserver* watch_;
    const std::atomic<bool>& stop_;
};

// The whole search: steps on standard error, the result line last on standard output, the
// "capacity" section into report. Returns the exit status: 0 with a capacity (or a lower
// bound), 1 when even the first rate failed or the search was interrupted.
int runCapacitySearch(const capacity::SearchSettings& settings, std::optional<int> workers, TfrmTrwMain& form,
                      ConsoleOutput& out, BatchObserver* watch, BatchReport* report,
                      const std::atomic<bool>& stop);

}  // namespace tarrow::cli
