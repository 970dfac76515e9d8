// Construction, configuration and destruction of the client's main form.
#include "client/app/TrwU.h"

#include "client/app/client_settings.h"

namespace {

constexpr int kDiscoverIntervalMs = 5000;
constexpr int kEventIntervalMs = 1000;
constexpr int kCountdownIntervalMs = 1000;

}  // namespace

TfrmTrwMain::TfrmTrwMain(TrwPorts ports)
    : p(ports),
      log_(ports.memDebug),
      link_(
          ports.sktOutput, ports.sktInput, ports.tcpTransport,
          [this](const std::function<void()>& event) { guarded(event); }, ports.controlPort),
      sktTCP(link_.socket()),
      scheduler_(ports.timeEvent, ports.lblFuncTimer, ports.random, nextEventSeconds, ports.monotonicClock,
                 eventDueUs) {
    // 1. Components with the settings of the form description; every handler runs guarded.
    p.timeDiscover.setHandler([this] { guarded([this] { timeDiscoverTimer(); }); });
    p.timeEvent.setHandler([this] { guarded([this] { timeEventTimer(); }); });
    p.timeCountdown.setHandler([this] { guarded([this] { updateIntervalLabel(); }); });
    link_.setHandlers({
        .datagram = [this](const std::string& text, const std::string& fromIp,
                           std::uint16_t port) { sktInputDataReceived(text, fromIp, port); },
        .connected = [this] { sktTCPConnect(); },
        .lost = [this] { sktTCPDisconnect(); },
        .packet = [this](const std::string& bytes) { sktTCPRead(bytes); },
        .error = [this](const std::string& text) { p.errorReport.show(text); },
    });
    p.timeEvent.setEnabled(false);
    p.timeEvent.setIntervalMs(kEventIntervalMs);
    p.timeCountdown.setEnabled(false);
    p.timeCountdown.setIntervalMs(kCountdownIntervalMs);
    p.timeDiscover.setIntervalMs(kDiscoverIntervalMs);
    p.timeDiscover.setEnabled(true);
    p.edtPasswd.setPasswordChar('*');
    p.miOptionsBatch.setChecked(false);
    p.miOptionsClient.setChecked(true);
    p.lblFuncTimer.setVisible(false);

    // 2. Configuration texts start empty; usersStream is a member, constructed and not open.
    localBroadcast.clear();
    workloadUsersFile.clear();
    performWorkloadAsUser.clear();

    // 3. Seeded here only: clients started within the same second draw the same delays.
    p.random.seed(static_cast<std::uint32_t>(p.wallClock.nowSeconds()));

    // 4.
    user = std::make_unique<DSUser>();

    // 5. The INI file, read once.
    const tarrow::ClientSettings settings = tarrow::readClientSettings(p.iniPath);
    localBroadcast = settings.localBroadcast;
    workloadUsersFile = settings.workloadUsersFile;
    performWorkloadAsUser = settings.performWorkloadAsUser;
    numWorkloads = settings.numWorkloads;
    batchWorkloads = settings.batchWorkloads;
    maxDelay = settings.maxDelay;

    // 6. to 13.
    discoveryWasEnabled = p.timeDiscover.enabled();
    log_.clear();
    resetInputs();
    p.window.setCaption("Tarrow Client");
    nextEventSeconds = 0;
    link_.setAnnounceHost(localBroadcast);
    p.statBar.setSimplePanel(true);
    p.statBar.setSimpleText(localBroadcast + " | " + std::to_string(p.sktOutput.remotePort()) + " | " +
                            std::to_string(p.sktInput.localPort()));
    p.lblFuncTimer.setText(std::to_string(p.timeEvent.intervalMs()));
    p.lblFuncTimer.setVisible(true);
}

TfrmTrwMain::~TfrmTrwMain() {
    FormDestroy();
    usersStream.close();
    // The components outlive the form in the front end: stop them and detach every handler,
    // so that no late tick or datagram reaches a form that is gone.
    link_.detach();
    for (tarrow::Timer* t : {&p.timeDiscover, &p.timeEvent, &p.timeCountdown}) {
        t->setEnabled(false);
        t->setHandler(nullptr);
    }
}

void TfrmTrwMain::guarded(const std::function<void()>& handler) {
    tarrow::runGuarded(p.errorReport, handler);
}

void TfrmTrwMain::resetInputs() {
    p.edtUser.setText("");
    p.edtPasswd.setText("");
    p.edtTree.setText("");
    p.edtContext.setText("");
    p.edtServer.setText("");
    p.cmbVendor.clear();
    p.cmbVendor.addItem("Vantric (QDS)");
    p.cmbVendor.setItemIndex(0);
    p.cmbFunction.clear();
    for (const char* item : {"Authenticate/Login", "Logout", "Create User", "Delete User"}) {
        p.cmbFunction.addItem(item);
    }
    p.cmbFunction.setItemIndex(0);
}

void TfrmTrwMain::FormDestroy() {
    // The record logs out an open login as it goes.
    user.reset();
}
