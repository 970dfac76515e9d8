// The workload: the event a controller's packet arms, and the batch run over the users file.
#include <cstdint>
#include <string>

#include "client/app/TrwU.h"
#include "client/directory/login_timings.h"
#include "common/link_protocol.h"
#include "common/timings_extension.h"

void TfrmTrwMain::chooseNextInterval() {
    const int oldIntervalMs = p.timeEvent.intervalMs();
    scheduler_.chooseNextInterval(maxDelay);
    // A new interval on a running timer starts it afresh; the armed event is due later.
    if (const int intervalMs = p.timeEvent.intervalMs(); p.timeEvent.enabled() && intervalMs != oldIntervalMs)
        eventDueUs = p.monotonicClock.nowUs() + intervalMs * 1000LL;
}

void TfrmTrwMain::updateIntervalLabel() { scheduler_.updateIntervalLabel(); }

void TfrmTrwMain::timeEventTimer() {
    p.timeEvent.setEnabled(false);
    p.timeCountdown.setEnabled(false);

    // Timed only for a controller that asked; the described reply is built the same either way.
    const bool timed = timingsAsked;
    tarrow::timings::LoginTimings timings;
    std::int64_t startUs = 0;
    if (timed) {
        tarrow::takePhaseTimings();  // drop what an earlier login left behind
        startUs = p.monotonicClock.nowUs();
        if (eventDueUs >= 0) timings.lagUs = startUs - eventDueUs;
    }
    eventDueUs = -1;
    // Only the connection the credential came on is owed its reply. When that one has gone, a
    // controller connected since never sent this credential and would take the reply for
    // bytes without a packet (and drop the client): the login runs as before, the reply is not
    // sent (on no connection nothing would be sent anyway).
    const bool replyOwed = sktTCP.connected() && credentialConnection_ == connectionNumber_;

    std::string reply(1, tarrow::kReplyPacket);
    try {
        const std::int32_t code = user->execute();
        if (timed) timings.executeUs = p.monotonicClock.nowUs() - startUs;
        reply += std::to_string(code);
    } catch (const DSUser::DSError& e) {
        if (timed) timings.executeUs = p.monotonicClock.nowUs() - startUs;
        log_.append("***DSUser ERROR: " + e.message);
        reply += "0" + e.message;
    }
    // The buffer's terminating zero goes out too when timed, and the record after it.
    std::string record;
    if (timed) {
        timings.phases = tarrow::takePhaseTimings();
        tarrow::timings::appendRecord(record, timings);
    }
    if (replyOwed) {
        try {
            link_.sendReply(reply, record);
        } catch (const tarrow::SocketError&) {
            log_.append("***ERROR occured while trying to send data");
        }
    }
    chooseNextInterval();
}

tarrow::BatchTally TfrmTrwMain::runBatch(tarrow::BatchObserver* observer, const std::atomic<bool>* stop) {
    tarrow::BatchRun batch({
        .reader = usersStream,
        .user = *user,
        .log = log_,
        .edtUser = p.edtUser,
        .edtPasswd = p.edtPasswd,
        .edtTree = p.edtTree,
        .edtContext = p.edtContext,
        .edtServer = p.edtServer,
        .clock = p.monotonicClock,
    });
    return batch.run(workloadUsersFile, observer, stop);
}

tarrow::PacedBatchRun TfrmTrwMain::pacedBatch(const tarrow::load::LoadPlan& plan,
                                              tarrow::load::LoadClock& clock, tarrow::LogPane* log) {
    return tarrow::PacedBatchRun({.reader = usersStream,
                                  .log = log ? *log : log_,
                                  .boxes = {p.edtUser, p.edtPasswd, p.edtTree, p.edtContext, p.edtServer},
                                  .clock = clock},
                                 plan);
}
