// The control channel to the controller: connect, lost and read handlers and packet dispatch.
// Sending a reply is ClientSocket::send; the event tick builds the reply.
#include <string>

#include "client/app/TrwU.h"
#include "common/timings_extension.h"

void TfrmTrwMain::sktTCPConnect() {
    timingsAsked = false;  // each controller asks for itself
    p.statBar.setSimpleText("Connected to: " + sktTCP.peerHostName() + ":" + std::to_string(sktTCP.port()));
    p.timeDiscover.setEnabled(false);
    chooseNextInterval();
    lockInputs();
}

void TfrmTrwMain::sktTCPDisconnect() {
    timingsAsked = false;
    p.statBar.setSimpleText("Connection Lost: " + sktTCP.host() + ":" + std::to_string(sktTCP.port()));
    p.timeDiscover.setEnabled(true);
    unlockInputs();
}

void TfrmTrwMain::sktTCPRead(const std::string& bytes) {
    // Everything waiting is one packet: there is no framing on this channel.
    if (bytes.empty()) return;
    handlePacket(bytes);
}

void TfrmTrwMain::handlePacket(std::string packet) {
    // A packet without a type letter carries nothing to act on.
    if (packet.empty()) return;
    try {
        switch (packet.front()) {
        case 'F':
            if (const std::size_t n = offerTimings ? tarrow::timings::requestLength(packet) : 0; n != 0) {
                acceptTimings();
                // A credential packet that came in the same read follows the request.
                if (packet.size() > n) handlePacket(packet.substr(n));
            }
            break;
        case 'U': {
            p.memDebug.append("Received: " + packet + " from Controller");
            const std::string line = packet.substr(1);
            user->setUserInfo(line.c_str());
            p.edtUser.setText(user->userName);
            p.edtPasswd.setText(user->password);
            p.edtTree.setText(user->tree);
            p.edtContext.setText(user->context);
            p.edtServer.setText(user->server);
            // Enabling a running timer changes nothing, so a later packet keeps the armed delay.
            if (!p.timeEvent.enabled()) eventDueUs = p.monotonicClock.nowUs() + p.timeEvent.intervalMs() * 1000LL;
            p.timeCountdown.setEnabled(true);
            p.timeEvent.setEnabled(true);
            break;
        }
        default:
            p.memDebug.append("***ERROR: Unknown Packet Type!");
            break;
        }
    } catch (const DSUser::DSError& e) {
        p.memDebug.append("***DSUser ERROR: " + e.message);
    }
}

// The controller asked for timings: from now on every reply on this connection carries them.
void TfrmTrwMain::acceptTimings() {
    timingsAsked = true;
    try {
        sktTCP.send(std::string(tarrow::timings::kAcceptance));
    } catch (const tarrow::SocketError&) {
        // The connection is gone or full; the lost handler has run or the controller goes on
        // without timings. Nothing of the described log is touched.
    }
}
