// Discovery of the controller: the announcing timer and the handling of answers.
#include <string>

#include "client/app/TrwU.h"
#include "common/buffer_text.h"
#include "common/link_protocol.h"

using tarrow::kDiscover;

void TfrmTrwMain::timeDiscoverTimer() {
    // The host is set on every tick; a host name is resolved by the sender before each send.
    p.sktOutput.setRemoteHost(localBroadcast);
    p.memDebug.append("Discovery Timer");
    p.memDebug.append(p.sktOutput.remoteHost());
    // Exactly the eight letters: no terminator, no line end.
    p.sktOutput.send(std::string(kDiscover));
}

void TfrmTrwMain::sktInputDataReceived(const std::string& bytes, const std::string& fromIp, std::uint16_t /*port*/) {
    const std::string text = tarrow::bufferText(bytes);
    if (text == kDiscover) {
        // A refused host change (another controller while connected) leaves here, unlogged,
        // for the general error report.
        sktTCP.setHost(fromIp);
        sktTCP.open();
    }
    p.memDebug.append("Data Received");
    p.memDebug.append("Received: " + text + " from " + fromIp);
}
