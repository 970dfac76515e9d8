// The batch run with a chosen load: several workers, each with a DSUser of its own on a thread
// of its own, at a target rate (open loop) or each starting its next login when its last one
// ended (closed loop). Lines of the users file go to the workers in file order; each login's
// one log line is written whole, in the order the logins end. The run ends with its four
// report lines like the run one login after another.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "client/ports/controls.h"
#include "client/ui/batch_login.h"
#include "client/ui/batch_run.h"
#include "common/load/load_json.h"
#include "common/load/load_timeline.h"
#include "common/load/worker_pool.h"

namespace tarrow {

struct PacedBatchPorts {
    UsersFileReader& reader;
    LogPane& log;
    UserBoxes boxes;
    load::LoadClock& clock;
};

class PacedBatchRun {
public:
    PacedBatchRun(const PacedBatchPorts& ports, load::LoadPlan plan) : p_(ports), plan_(std::move(plan)) {}

    // As BatchRun::run. With a duration the users file is read again from its start as often
    // as the duration needs (a file without a single accepted line ends the run); without one
    // the run ends with the file or the curve, whichever ends first.
    BatchTally run(const std::string& usersFile, BatchObserver* observer = nullptr,
                   const std::atomic<bool>* stop = nullptr);

    // What the last run did second by second, and how closely it held its rate (open loop).
    const load::LoadTimeline& timeline() const { return *timeline_; }
    std::optional<load::RateHeld> rateHeld() const { return rateHeld_; }
    // The report's "load" section of the last run (common/load/load_json.h).
    nlohmann::ordered_json loadJson() const;

private:
    PacedBatchPorts p_;
    load::LoadPlan plan_;
    std::unique_ptr<load::LoadTimeline> timeline_ = std::make_unique<load::LoadTimeline>(0);
    std::optional<load::RateHeld> rateHeld_;
    std::optional<load::LoadSchedule> schedule_;  // the last run's, for its targets
};

}  // namespace tarrow
