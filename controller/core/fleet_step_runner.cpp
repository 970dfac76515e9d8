#include "controller/core/fleet_step_runner.h"

#include <algorithm>

namespace tarrow::ctrl {

FleetStepRunner::FleetStepRunner(ControlEngine& engine, const CtrlClock& clock, std::size_t clientsFirst,
                                 std::function<void()> turn, std::function<void(const std::string&)> notice)
    : engine_(engine),
      clock_(clock),
      clientsFirst_(std::max<std::size_t>(clientsFirst, 1)),
      turn_(std::move(turn)),
      notice_(std::move(notice)) {
    engine_.watchPacedLogins(this);
}

FleetStepRunner::~FleetStepRunner() { engine_.watchPacedLogins(nullptr); }

// Turns the loop until wanted paced clients are connected; false when the run stopped first.
bool FleetStepRunner::waitForClients(std::size_t wanted) {
    if (engine_.pacedClientCount() >= wanted) return !engine_.stopped();
    notice_("waiting for " + std::to_string(wanted) + (wanted == 1 ? " client" : " clients") +
            " that accept pacing");
    while (!engine_.stopped() && engine_.pacedClientCount() < wanted) turn_();
    return !engine_.stopped();
}

void FleetStepRunner::updateTimes(std::int64_t nowUs) {
    f_.durationUs = nowUs - stepStartUs_;
    f_.steadyUs = std::max<std::int64_t>(0, std::min(f_.durationUs, plan_.maxUs) - plan_.settleUs);
    f_.ownLagMeanUs = ownLagLogins_ ? ownLagSumUs_ / static_cast<std::int64_t>(ownLagLogins_) : 0;
}

capacity::StepFigures FleetStepRunner::runStep(
    const capacity::StepPlan& plan, const std::function<bool(const capacity::StepFigures&)>& keepGoing) {
    const std::size_t wanted = firstStep_ ? clientsFirst_ : 1;
    firstStep_ = false;
    f_ = {};
    ownLagSumUs_ = 0;
    ownLagLogins_ = 0;
    if (!waitForClients(wanted)) {
        f_.interrupted = true;
        return f_;
    }
    plan_ = plan;
    load::LoadPlan schedule;
    schedule.curve = {{plan.perSecond, static_cast<double>(plan.maxUs) / 1e6}};
    schedule.durationUs = plan.maxUs;
    stepStartUs_ = clock_.monotonicUs();
    engine_.startPaceStep(schedule);
    std::size_t fewestClients = engine_.pacedClientCount();
    std::uint64_t dropped = 0;
    std::int64_t scheduleEndUs = -1;  // when the step stopped being due logins
    std::int64_t nextLookUs = stepStartUs_ + kLookEveryUs;
    for (;;) {
        if (engine_.stopped()) {
            f_.interrupted = true;
            break;
        }
        const std::int64_t now = clock_.monotonicUs();
        fewestClients = std::min(fewestClients, engine_.pacedClientCount());
        if (scheduleEndUs < 0) {
            bool decided = false;
            if (now >= nextLookUs) {
                nextLookUs = now + kLookEveryUs;
                updateTimes(now);
                decided = !keepGoing(f_);
            }
            if (decided || now - stepStartUs_ >= plan.maxUs) {
                scheduleEndUs = now;
                dropped = engine_.endPaceStep();
            }
        }
        if (scheduleEndUs >= 0 && (engine_.pacer()->outstanding() == 0 || now - scheduleEndUs >= kDrainUs))
            break;
        turn_();
    }
    updateTimes(clock_.monotonicUs());
    if (const FleetPacer* pacer = engine_.pacer(); pacer && !f_.interrupted) {
        f_.started = pacer->taken();
        f_.due = pacer->taken() + dropped;
    }
    f_.workers = static_cast<int>(fewestClients);
    f_.workersText = "the fleet: " + std::to_string(fewestClients) +
                     (fewestClients == 1 ? " paced workstation" : " paced workstations");
    if (f_.ended == 0 && !f_.interrupted) f_.fault = "a step ran no login: no paced client replied";
    return f_;
}

void FleetStepRunner::pacedEnded(const load::LoginTimes& times, const timings::LoginTimings* t, bool succeeded) {
    latencies_.record(times.latencyUs(), t ? t->phases : PhaseTimings{});
    service_.record(times.serviceUs());
    scheduleLag_.record(times.scheduleLagUs());
    ++f_.ended;
    if (!steady(times.dueUs)) return;
    f_.countSteady(times.dueUs, times.startUs, times.endUs, succeeded);
    ownLagSumUs_ += times.ownLagUs();
    ++ownLagLogins_;
}

// A login without a reply proves nothing for the rate: it counts as failed, so that no rate
// is claimed over a login whose outcome is unknown.
void FleetStepRunner::pacedLost(const PacedLease& lease) {
    ++f_.ended;
    if (!steady(lease.dueUs)) return;
    ++f_.counted;
    ++f_.failed;
}

}  // namespace tarrow::ctrl
