// The client's main form TfrmTrwMain: every handler of the window as plain C++ over the
// window-system, timer, socket and clock interfaces of client/ports. The form is the hub: it
// holds the form's state and wires the components that do the work, the batch run and the
// event scheduler of client/ui and the controller link of client/net.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "client/directory/DSUser.h"
#include "client/ui/batch_observer.h"
#include "client/net/client_socket.h"
#include "client/net/controller_link.h"
#include "client/ports/clock.h"
#include "client/ports/controls.h"
#include "client/ports/error_report.h"
#include "client/ports/host_names.h"
#include "client/ports/sockets.h"
#include "client/ports/timer.h"
#include "client/ui/batch_run.h"
#include "client/ui/paced_batch_run.h"
#include "client/ui/event_scheduler.h"
#include "client/ui/one_line_log.h"
#include "common/link_protocol.h"
#include "common/users_file_reader.h"

// Everything the form needs of its platform. The front end owns these objects and keeps
// them alive for the life of the form. Front ends build it with designated initialisers, so
// that a field added or moved is a compile error rather than two controls swapped.
struct TrwPorts {
    tarrow::FormWindow& window;
    tarrow::EditBox& edtUser;
    tarrow::EditBox& edtPasswd;
    tarrow::EditBox& edtTree;
    tarrow::EditBox& edtContext;
    tarrow::EditBox& edtServer;
    tarrow::ComboBox& cmbVendor;
    tarrow::ComboBox& cmbFunction;
    tarrow::Label& lblFuncTimer;
    tarrow::Button& btnExecute;
    tarrow::MenuItem& miOptionsBatch;
    tarrow::MenuItem& miOptionsClient;
    tarrow::LogPane& memDebug;
    tarrow::StatusBar& statBar;
    tarrow::Timer& timeDiscover;
    tarrow::Timer& timeEvent;
    tarrow::Timer& timeCountdown;
    tarrow::UdpSender& sktOutput;
    tarrow::UdpReceiver& sktInput;
    tarrow::TcpTransport& tcpTransport;
    tarrow::HostNames& hostNames;
    tarrow::MonotonicClock& monotonicClock;
    tarrow::WallClock& wallClock;
    tarrow::RandomSource& random;
    tarrow::ErrorReport& errorReport;
    // The INI file to read: the program path with ".INI", or what the front end was told.
    std::string iniPath;
    // The TCP port of the control channel (TarrowCli --control-port, for tests).
    std::uint16_t controlPort = tarrow::kControlPort;
};

class TfrmTrwMain {
public:
    explicit TfrmTrwMain(TrwPorts ports);
    ~TfrmTrwMain();
    TfrmTrwMain(const TfrmTrwMain&) = delete;
    TfrmTrwMain& operator=(const TfrmTrwMain&) = delete;

    // Runs one handler under the general error report (see tarrow::runGuarded).
    // Front ends call every button, menu and key handler through it.
    void guarded(const std::function<void()>& handler);

    // Start-up and tear-down.
    void resetInputs();
    void FormDestroy();

    // Main form, manual execution and logging.
    void btnExecuteClick();
    void toggleMode();
    void miFileExitClick();
    void actnUsernameExecute();
    void actnPasswdExecute();
    void actnTreeExecute();
    void actnContextExecute();
    void actnServerExecute();
    void actnVendorExecute();
    void actnFunctionExecute();
    void lockInputs();
    void unlockInputs();

    // Workload event scheduling.
    void chooseNextInterval();
    void updateIntervalLabel();
    void timeEventTimer();

    // Batch run over the users file; what it did, for the headless front end's exit status.
    // An observer (the report of TarrowCli --report) is told the start, every login with its
    // timings, and the end; only then is each login timed. When stop becomes true the run
    // ends before its next line, without its report lines.
    tarrow::BatchTally runBatch(tarrow::BatchObserver* observer = nullptr,
                                const std::atomic<bool>* stop = nullptr);
    // The batch run with a chosen load (TarrowCli --workers, --rate ...) over the same users
    // file, log pane and edit boxes; its run() works like runBatch. log: where its lines go
    // instead of the log pane (a capacity search keeps only errors), null for the pane.
    tarrow::PacedBatchRun pacedBatch(const tarrow::load::LoadPlan& plan, tarrow::load::LoadClock& clock,
                                     tarrow::LogPane* log = nullptr);

    // Discovery: the announcing timer, and every datagram on the answer port as the link
    // buffer holds it (an answer has already opened the control channel).
    void timeDiscoverTimer();
    void sktInputDataReceived(const std::string& text, const std::string& fromIp, std::uint16_t port);

    // Control channel.
    void sktTCPConnect();
    void sktTCPDisconnect();
    void sktTCPRead(const std::string& bytes);
    void handlePacket(std::string packet);
    void acceptTimings();
    void acceptSchedule();

    // Components, owned by the front end.
    TrwPorts p;

private:
    // Every log line of the form and its components goes through it to memDebug.
    tarrow::OneLineLog log_;
    tarrow::ControllerLink link_;

public:
    // The control connection, part of the controller link.
    tarrow::ClientSocket& sktTCP;

    // Form state, in its declared order.
    std::unique_ptr<DSUser> user;
    bool discoveryWasEnabled = false;
    bool batchWorkloads = false;
    std::string localBroadcast;
    std::string workloadUsersFile;
    std::string performWorkloadAsUser;
    tarrow::UsersFileReader usersStream;
    std::int32_t numWorkloads = 0;
    std::int32_t maxDelay = 0;
    std::int32_t nextEventSeconds = 0;

    // Timings extension of the control channel. Only when a controller asks on the current
    // connection does a reply carry its login's timings; until then, and when the front end
    // turns it off, the client behaves exactly as without it.
    bool offerTimings = true;      // the front end's switch (TarrowCli --no-timings)
    bool timingsAsked = false;     // the controller of this connection asked
    std::int64_t eventDueUs = -1;  // when the armed event timer is due (monotonic); -1: not armed
    // Schedule extension: asked only after the timings were; each credential packet on this
    // connection then runs at once, the controller having chosen when it was due.
    bool scheduleAsked = false;

private:
    // A credential's login belongs to the connection it came on: each established connection
    // gets the next number, and the armed event remembers the one of its credential packet.
    std::uint64_t connectionNumber_ = 0;
    std::uint64_t credentialConnection_ = 0;  // 0: no credential packet armed the event
    tarrow::EventScheduler scheduler_;
};
