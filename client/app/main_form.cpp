// The main form's behaviour: manual execution, the mode switch, locking and the keyboard actions.
#include "client/app/TrwU.h"
#include "client/ui/figure_text.h"

void TfrmTrwMain::btnExecuteClick() {
    if (p.miOptionsBatch.checked()) {
        runBatch();
        return;
    }
    // Texts go in whole: no trimming, no parsing; commas and blanks stay.
    user->userName = p.edtUser.text();
    user->password = p.edtPasswd.text();
    user->context = p.edtContext.text();
    user->tree = p.edtTree.text();
    user->server = p.edtServer.text();
    // A DSUser::DSError leaves here for the general error report, with no log line.
    const std::int64_t t0 = p.monotonicClock.nowUs();
    const std::int32_t code = user->execute();
    const std::int64_t t1 = p.monotonicClock.nowUs();
    p.memDebug.append("user->execute() Returned: " + tarrow::resultCodeHex(code));
    p.memDebug.append("Function took: " + tarrow::elapsedTimeText(t1 - t0));
}

void TfrmTrwMain::toggleMode() {
    // Both items share this handler: whichever was chosen, the mode flips.
    p.miOptionsBatch.setChecked(!p.miOptionsBatch.checked());
    p.miOptionsClient.setChecked(!p.miOptionsClient.checked());
    if (p.miOptionsBatch.checked()) {
        discoveryWasEnabled = p.timeDiscover.enabled();
        p.timeDiscover.setEnabled(false);
        p.edtPasswd.setPasswordChar('\0');
        if (sktTCP.active()) {
            const bool wasConnected = sktTCP.connected();
            sktTCP.close();  // a live connection runs the lost handling here, which restarts discovery
            if (wasConnected) {
                // The lost handling restarted discovery and masked the password. Batch mode keeps
                // discovery off, so that no controller reconnects meanwhile, and shows the password;
                // discovery was off only because of that connection, so client mode runs it again.
                p.timeDiscover.setEnabled(false);
                p.edtPasswd.setPasswordChar('\0');
                discoveryWasEnabled = true;
            }
        }
    } else {
        p.timeDiscover.setEnabled(discoveryWasEnabled);
        p.edtPasswd.setPasswordChar('*');
    }
    p.memDebug.clear();
    p.statBar.setSimpleText(p.timeDiscover.enabled() ? "Discovery timer enabled" : "Discovery timer disabled");
}

void TfrmTrwMain::miFileExitClick() { p.window.close(); }

void TfrmTrwMain::actnUsernameExecute() { p.edtUser.setFocus(); }
void TfrmTrwMain::actnPasswdExecute() { p.edtPasswd.setFocus(); }
void TfrmTrwMain::actnTreeExecute() { p.edtTree.setFocus(); }
void TfrmTrwMain::actnContextExecute() { p.edtContext.setFocus(); }
void TfrmTrwMain::actnServerExecute() { p.edtServer.setFocus(); }
void TfrmTrwMain::actnVendorExecute() { p.cmbVendor.setFocus(); }
void TfrmTrwMain::actnFunctionExecute() { p.cmbFunction.setFocus(); }

void TfrmTrwMain::lockInputs() {
    p.edtPasswd.setPasswordChar('\0');
    p.edtUser.setEnabled(false);
    p.edtPasswd.setEnabled(false);
    p.edtTree.setEnabled(false);
    p.edtContext.setEnabled(false);
    p.edtServer.setEnabled(false);
    p.cmbVendor.setEnabled(false);
    p.cmbFunction.setEnabled(false);
    p.btnExecute.setEnabled(false);
    p.lblFuncTimer.setVisible(true);
    nextEventSeconds = p.timeEvent.intervalMs() / 1000;
}

void TfrmTrwMain::unlockInputs() {
    p.lblFuncTimer.setVisible(false);
    p.edtPasswd.setPasswordChar('*');
    p.edtUser.setEnabled(true);
    p.edtPasswd.setEnabled(true);
    p.edtTree.setEnabled(true);
    p.edtContext.setEnabled(true);
    p.edtServer.setEnabled(true);
    p.cmbVendor.setEnabled(true);
    p.cmbFunction.setEnabled(true);
    p.btnExecute.setEnabled(true);
}
