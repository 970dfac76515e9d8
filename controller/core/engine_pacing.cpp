// The engine's part in a run at a chosen rate: the schedule extension's acceptance, the
// queue of free paced clients, and handing each due login to the one free longest.
#include "controller/core/control_engine.h"

#include "common/schedule_extension.h"

namespace tarrow::ctrl {

// The acceptance follows the timings acceptance, and begins with a zero byte as that one
// does. Takes it (or its part) off the front of bytes; false when nothing further is to be
// done with them.
bool ControlEngine::takeScheduleAcceptance(Session& s, std::string_view& bytes) {
    if (bool goOn = false; !acceptanceWhole(s, schedule::kAcceptance, s.scheduleBytes, bytes, goOn))
        return goOn;
    s.paced = true;
    ++pacedClients_;
    countPacedClients();
    // Late (the wait ended first): the packet already out is not paced, the next ones are.
    if (s.state != State::Negotiating) return !bytes.empty();
    if (!bytes.empty()) {
        drop(s, DropReason::Unsolicited);
        return false;
    }
    becomeFree(s);
    return false;
}

void ControlEngine::becomeFree(Session& s) {
    s.freeUs = clock_.monotonicUs();
    moveTo(s, State::Free);
    // The schedule starts with the first paced client, or with a step when in steps.
    if (!settings_.pacedInSteps()) pacer_->start(s.freeUs);
    dispatchDue();
}

void ControlEngine::startPaceStep(load::LoadPlan plan) {
    pacer_ = std::make_unique<FleetPacer>(std::move(plan));
    ++paceStep_;
    countPacedClients();
    pacer_->start(clock_.monotonicUs());
    dispatchDue();
}

std::uint64_t ControlEngine::endPaceStep() { return pacer_->endSchedule(clock_.monotonicUs()); }

// Every login that is due goes out while a paced client is free; the rest wait for one.
void ControlEngine::dispatchDue() {
    if (stopped_) return;
    countPacedClients();  // a client whose negotiation ended unpaced counts from now on
    const std::int64_t now = clock_.monotonicUs();
    while (!free_.empty()) {
        const auto due = pacer_->nextDueUs();
        if (!due || *due > now) break;
        // --count holds the rest back: the rate is judged up to here.
        if (!packetAllowed()) {
            pacer_->closeAt(*due);
            break;
        }
        Session& s = *free_.front();
        const std::int64_t freeUs = s.freeUs;
        sendNext(s);
        s.lease = pacer_->take(freeUs, s.sentUs);
        s.leasePaced = true;
        s.leaseStep = paceStep_;
    }
    if (!settings_.pacedInSteps() && pacer_->finished()) stop("the rate curve ended");
}

void ControlEngine::pacedReplied(Session& s, const timings::LoginTimings* t, bool succeeded) {
    if (!s.leasePaced) return pacer_->unpacedReply(t ? t->executeUs : -1);
    s.leasePaced = false;
    if (s.leaseStep != paceStep_) return;  // an earlier step's login: that step is over
    pacer_->ended(s.lease, t, s.lastByteUs);
    if (pacedWatch_) pacedWatch_->pacedEnded(pacedLoginTimes(s.lease, t, s.lastByteUs), t, succeeded);
}

void ControlEngine::pacedLost(Session& s) {
    s.leasePaced = false;
    if (s.leaseStep != paceStep_) return;
    pacer_->lost(s.lease);
    if (pacedWatch_) pacedWatch_->pacedLost(s.lease);
}

void ControlEngine::countPacedClients() {
    // A client still negotiating is neither yet.
    const std::size_t settled = sessions_.size() - negotiating_.size();
    pacer_->clients(clock_.monotonicUs(), pacedClients_, settled > pacedClients_ ? settled - pacedClients_ : 0);
}

}  // namespace tarrow::ctrl
