// The workload: the event a controller's packet arms, and the batch run over the users file.
#include <cstdint>
#include <string>

#include "client/app/TrwU.h"
#include "common/link_protocol.h"

void TfrmTrwMain::chooseNextInterval() { scheduler_.chooseNextInterval(maxDelay); }

void TfrmTrwMain::updateIntervalLabel() { scheduler_.updateIntervalLabel(); }

void TfrmTrwMain::timeEventTimer() {
    p.timeEvent.setEnabled(false);
    p.timeCountdown.setEnabled(false);

    std::string reply(1, tarrow::kReplyPacket);
    try {
        reply += std::to_string(user->execute());
    } catch (const DSUser::DSError& e) {
        p.memDebug.append("***DSUser ERROR: " + e.message);
        reply += "0" + e.message;
    }
    try {
        link_.sendReply(reply);
    } catch (const tarrow::SocketError&) {
        p.memDebug.append("***ERROR occured while trying to send data");
    }
    chooseNextInterval();
}

tarrow::BatchTally TfrmTrwMain::runBatch(tarrow::BatchObserver* observer, const std::atomic<bool>* stop) {
    tarrow::BatchRun batch({
        .reader = usersStream,
        .user = *user,
        .log = p.memDebug,
        .edtUser = p.edtUser,
        .edtPasswd = p.edtPasswd,
        .edtTree = p.edtTree,
        .edtContext = p.edtContext,
        .edtServer = p.edtServer,
        .clock = p.monotonicClock,
    });
    return batch.run(workloadUsersFile, observer, stop);
}
