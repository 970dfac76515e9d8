// What the form does on the controller link's events: discovery and the control channel.
#include <string>

#include "client/app/TrwU.h"
#include "common/link_protocol.h"
#include "common/schedule_extension.h"
#include "common/timings_extension.h"

void TfrmTrwMain::timeDiscoverTimer() {
    // The host is set on every tick; a host name is resolved by the sender before each send.
    link_.setAnnounceHost(localBroadcast);
    log_.append("Discovery Timer");
    log_.append(link_.announceHost());
    link_.announce();
}

void TfrmTrwMain::sktInputDataReceived(const std::string& text, const std::string& fromIp,
                                       std::uint16_t /*port*/) {
    log_.append("Data Received");
    log_.append("Received: " + text + " from " + fromIp);
}

void TfrmTrwMain::sktTCPConnect() {
    timingsAsked = false;  // each controller asks for itself
    scheduleAsked = false;
    ++connectionNumber_;
    // The name is looked up once, now; the lookup is bounded (see docs/platform-decisions.md).
    p.statBar.setSimpleText("Connected to: " + p.hostNames.nameOf(sktTCP.peerAddress()) + ":" +
                            std::to_string(sktTCP.port()));
    p.timeDiscover.setEnabled(false);
    chooseNextInterval();
    lockInputs();
}

void TfrmTrwMain::sktTCPDisconnect() {
    timingsAsked = false;
    scheduleAsked = false;
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
        case tarrow::kIgnoredPacket:
            if (const std::size_t n = offerTimings ? tarrow::timings::requestLength(packet) : 0; n != 0) {
                acceptTimings();
                // A credential packet that came in the same read follows the request.
                if (packet.size() > n) handlePacket(packet.substr(n));
            } else if (const std::size_t m = timingsAsked ? tarrow::schedule::requestLength(packet) : 0;
                       m != 0) {
                acceptSchedule();
                if (packet.size() > m) handlePacket(packet.substr(m));
            }
            break;
        case tarrow::kCredentialPacket: {
            const std::int64_t receivedUs = p.monotonicClock.nowUs();
            log_.append("Received: " + packet + " from Controller");
            const std::string line = packet.substr(1);
            user->setUserInfo(line.c_str());
            credentialConnection_ = connectionNumber_;
            p.edtUser.setText(user->userName);
            p.edtPasswd.setText(user->password);
            p.edtTree.setText(user->tree);
            p.edtContext.setText(user->context);
            p.edtServer.setText(user->server);
            // A paced login starts now: the controller chose when it is due. Its lag runs from
            // the packet's arrival, on this client's clock.
            if (scheduleAsked && !p.timeEvent.enabled()) {
                eventDueUs = receivedUs;
                timeEventTimer();
                break;
            }
            // Enabling a running timer changes nothing, so a later packet keeps the armed delay.
            if (!p.timeEvent.enabled())
                eventDueUs = p.monotonicClock.nowUs() + p.timeEvent.intervalMs() * 1000LL;
            p.timeCountdown.setEnabled(true);
            p.timeEvent.setEnabled(true);
            break;
        }
        default: log_.append("***ERROR: Unknown Packet Type!"); break;
        }
    } catch (const DSUser::DSError& e) {
        log_.append("***DSUser ERROR: " + e.message);
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

// The controller paces this connection: every credential packet runs at once, undelayed.
void TfrmTrwMain::acceptSchedule() {
    scheduleAsked = true;
    try {
        sktTCP.send(std::string(tarrow::schedule::kAcceptance));
    } catch (const tarrow::SocketError&) {
        // As for the timings acceptance: the controller goes on without it.
    }
}
