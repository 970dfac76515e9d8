// What the form does on the controller link's events: discovery and the control channel.
#include <string>

#include "client/app/TrwU.h"
#include "common/link_protocol.h"

void TfrmTrwMain::timeDiscoverTimer() {
    // The host is set on every tick; a host name is resolved by the sender before each send.
    link_.setAnnounceHost(localBroadcast);
    p.memDebug.append("Discovery Timer");
    p.memDebug.append(link_.announceHost());
    link_.announce();
}

void TfrmTrwMain::sktInputDataReceived(const std::string& text, const std::string& fromIp,
                                       std::uint16_t /*port*/) {
    p.memDebug.append("Data Received");
    p.memDebug.append("Received: " + text + " from " + fromIp);
}

void TfrmTrwMain::sktTCPConnect() {
    p.statBar.setSimpleText("Connected to: " + sktTCP.peerHostName() + ":" + std::to_string(sktTCP.port()));
    p.timeDiscover.setEnabled(false);
    chooseNextInterval();
    lockInputs();
}

void TfrmTrwMain::sktTCPDisconnect() {
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
        case tarrow::kIgnoredPacket: break;
        case tarrow::kCredentialPacket: {
            p.memDebug.append("Received: " + packet + " from Controller");
            const std::string line = packet.substr(1);
            user->setUserInfo(line.c_str());
            p.edtUser.setText(user->userName);
            p.edtPasswd.setText(user->password);
            p.edtTree.setText(user->tree);
            p.edtContext.setText(user->context);
            p.edtServer.setText(user->server);
            // Enabling a running timer changes nothing, so a later packet keeps the armed delay.
            p.timeCountdown.setEnabled(true);
            p.timeEvent.setEnabled(true);
            break;
        }
        default: p.memDebug.append("***ERROR: Unknown Packet Type!"); break;
        }
    } catch (const DSUser::DSError& e) {
        p.memDebug.append("***DSUser ERROR: " + e.message);
    }
}
