#include "client/ui/paced_batch_run.h"

#include <mutex>
#include <vector>

#include "client/directory/login_timings.h"

namespace tarrow {

BatchTally PacedBatchRun::run(const std::string& usersFile, BatchObserver* observer,
                              const std::atomic<bool>* stop) {
    const std::atomic<bool> never{false};
    const std::atomic<bool>& stopFlag = stop ? *stop : never;
    BatchTally tally;
    const std::int64_t startUs = p_.clock.nowUs();
    timeline_ = std::make_unique<load::LoadTimeline>(startUs);
    rateHeld_.reset();
    if (observer) {
        observer->onRunStart(startUs);
        takePhaseTimings();  // nothing left from an earlier login on this thread
    }
    if (!p_.reader.open(usersFile)) {
        p_.log.append("***ERROR: Cannot open users file \"" + usersFile + "\": " + p_.reader.errorText());
        if (observer) observer->onRunEnd(p_.clock.nowUs(), false);
        return tally;
    }

    const int workers = plan_.workers < 1 ? 1 : plan_.workers;
    std::vector<std::unique_ptr<DSUser>> users;
    for (int w = 0; w < workers; ++w) users.push_back(std::make_unique<DSUser>());
    std::mutex output;  // the log, the boxes, the tally, the timeline and the observer
    bool fileEnded = false;
    std::int64_t lastDueUs = startUs;
    bool acceptedThisPass = false;

    load::LoadSchedule& schedule = schedule_.emplace(plan_, startUs);
    load::WorkerHooks hooks;
    // Under the pool's lock: one worker at a time reads the file.
    hooks.claim = [&](int worker, const load::Slot& slot) {
        const std::lock_guard guard(output);
        for (;;) {
            if (takeNextLine(p_.reader, *users[static_cast<std::size_t>(worker)], p_.log, tally, observer,
                             stop)) {
                acceptedThisPass = true;
                lastDueUs = slot.dueUs;
                return true;
            }
            // Again from the start while the duration lasts, if the file gave any login.
            if (tally.interrupted || p_.reader.failed() || !plan_.durationUs || !acceptedThisPass) break;
            acceptedThisPass = false;
            p_.reader.close();
            if (!p_.reader.open(usersFile)) break;
        }
        fileEnded = true;
        return false;
    };
    hooks.perform = [&](int worker, const load::Slot& slot) {
        DSUser& user = *users[static_cast<std::size_t>(worker)];
        BatchLogin timed;
        timed.dueUs = slot.dueUs;
        timed.startUs = p_.clock.nowUs();
        const LoginResult result = executeLogin(user);
        timed.endUs = p_.clock.nowUs();
        timed.outcome = result.outcome;
        timed.code = result.code;
        timed.message = result.error;
        timed.user = user.userName;
        if (observer) timed.phases = takePhaseTimings();
        const std::lock_guard guard(output);
        reportLogin(user, result, p_.boxes, p_.log, tally);
        timeline_->add({slot.dueUs, slot.freeUs, timed.startUs, timed.endUs});
        if (observer) observer->onLogin(timed);
    };
    try {
        load::runWorkers(plan_, schedule, p_.clock, hooks, stopFlag);
    } catch (...) {
        p_.reader.close();
        throw;
    }
    if (stopFlag.load(std::memory_order_relaxed)) tally.interrupted = true;
    if (p_.reader.failed()) {
        p_.log.append("***ERROR: Cannot read users file \"" + usersFile + "\": " + p_.reader.errorText());
    }
    const bool readFailed = p_.reader.failed();
    p_.reader.close();
    users.clear();  // their logins end before the run's end time is taken

    const std::int64_t endUs = p_.clock.nowUs();
    if (observer) observer->onRunEnd(endUs, tally.interrupted);
    if (plan_.openLoop()) {
        const auto scheduleEnd = schedule.endUs();
        rateHeld_ = timeline_->rateHeld(schedule, fileEnded || !scheduleEnd ? lastDueUs + 1 : *scheduleEnd);
    }
    if (tally.interrupted) return tally;
    appendRunReport(p_.log, endUs - startUs, tally);
    tally.fileRead = !readFailed;
    return tally;
}

nlohmann::ordered_json PacedBatchRun::loadJson() const {
    const load::LoadSchedule schedule = schedule_ ? *schedule_
                                                  : load::LoadSchedule(plan_, timeline_->startUs());
    return load::loadJson(plan_, *timeline_, schedule, rateHeld_);
}

}  // namespace tarrow
