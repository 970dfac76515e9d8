// TarrowCtrl --find-capacity: the capacity search (common/capacity) with each step run by the
// fleet. A step is a fresh schedule at the step's constant rate for the paced clients, which
// stay connected from step to step (ControlEngine::startPaceStep); its figures are those of
// the step's paced logins as the controller times them: from when each was due, with the
// spans its client measured. Clients that do not accept pacing keep their own delays and are
// not counted in any step.
//
// Why the runner turns the event loop itself: the search asks for one step at a time and
// waits for its figures, while the controller is driven by its event loop. So the search runs
// on the loop's thread, and while a step runs the runner lets the loop go round (turn: one
// pass, about a millisecond at most) until the step is over. One thread means the engine,
// which is not thread-safe, is never shared and nothing needs a lock; neither the search nor
// the runner knows Qt, and tests turn virtual time instead.
#pragma once

#include "common/capacity/capacity_search.h"
#include "controller/core/control_engine.h"
#include "report/model/run_report.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tarrow::ctrl {

class FleetStepRunner final : public capacity::StepRunner, private PacedLoginWatch {
public:
    // A step judges its figures every this long.
    static constexpr std::int64_t kLookEveryUs = 100'000;
    // After its schedule ended, a step waits this long at most for its logins still out; one
    // that comes later is not counted (a client that hangs is dropped at --reply-timeout).
    static constexpr std::int64_t kDrainUs = 5'000'000;

    // clientsFirst: paced clients the first step waits for (later steps wait for one when
    // every paced client went away); notice: a line for the operator.
    FleetStepRunner(ControlEngine& engine, const CtrlClock& clock, std::size_t clientsFirst,
                    std::function<void()> turn, std::function<void(const std::string&)> notice);
    ~FleetStepRunner() override;
    FleetStepRunner(const FleetStepRunner&) = delete;
    FleetStepRunner& operator=(const FleetStepRunner&) = delete;

    capacity::StepFigures runStep(const capacity::StepPlan& plan,
                                  const std::function<bool(const capacity::StepFigures&)>& keepGoing) override;

    // Over every paced login of every step, for the report: the latency (from due) with the
    // phases, the service time (start to end) and the schedule lag (due to start).
    const LoginLatencies& latencies() const { return latencies_; }
    const LatencyHistogram& service() const { return service_; }
    const LatencyHistogram& scheduleLag() const { return scheduleLag_; }

private:
    void pacedEnded(const load::LoginTimes& times, const timings::LoginTimings* t, bool succeeded) override;
    void pacedLost(const PacedLease& lease) override;
    bool waitForClients(std::size_t wanted);
    bool steady(std::int64_t dueUs) const { return dueUs - stepStartUs_ >= plan_.settleUs; }
    void updateTimes(std::int64_t nowUs);

    ControlEngine& engine_;
    const CtrlClock& clock_;
    std::size_t clientsFirst_;
    std::function<void()> turn_;
    std::function<void(const std::string&)> notice_;
    bool firstStep_ = true;
    // The step under way.
    capacity::StepPlan plan_;
    std::int64_t stepStartUs_ = 0;
    capacity::StepFigures f_;
    std::int64_t ownLagSumUs_ = 0;
    std::uint64_t ownLagLogins_ = 0;
    // Every step.
    LoginLatencies latencies_;
    LatencyHistogram service_;
    LatencyHistogram scheduleLag_;
};

}  // namespace tarrow::ctrl
