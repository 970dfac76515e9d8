#include "client/qt/window_wiring.h"

#include <QObject>

namespace tarrow::qt {

TrwPorts windowPorts(TarrowWindow& window, ClientPlatform& platform, ErrorReport& errorReport,
                     const std::string& iniPath, LogPane* logPane) {
    TarrowWindow::Controls& c = window.controls();
    return TrwPorts{
        .window = c.window,
        .edtUser = c.user,
        .edtPasswd = c.passwd,
        .edtTree = c.tree,
        .edtContext = c.context,
        .edtServer = c.server,
        .cmbVendor = c.vendor,
        .cmbFunction = c.function,
        .lblFuncTimer = c.funcTimer,
        .btnExecute = c.execute,
        .miOptionsBatch = c.optionsBatch,
        .miOptionsClient = c.optionsClient,
        .memDebug = logPane != nullptr ? *logPane : c.debug,
        .statBar = c.status,
        .timeDiscover = platform.timeDiscover,
        .timeEvent = platform.timeEvent,
        .timeCountdown = platform.timeCountdown,
        .sktOutput = platform.sktOutput,
        .sktInput = platform.sktInput,
        .tcpTransport = platform.tcpTransport,
        .hostNames = platform.hostNames,
        .monotonicClock = platform.sources.monotonicClock,
        .wallClock = platform.sources.wallClock,
        .random = platform.sources.random,
        .errorReport = errorReport,
        .iniPath = iniPath,
    };
}

void connectForm(TarrowWindow& window, TfrmTrwMain& form) {
    const auto route = [&form](QAction* action, void (TfrmTrwMain::*handler)()) {
        QObject::connect(action, &QAction::triggered, action,
                         [&form, handler] { form.guarded([&] { (form.*handler)(); }); });
    };
    QObject::connect(window.btnExecute, &QPushButton::clicked, window.btnExecute,
                     [&form] { form.guarded([&] { form.btnExecuteClick(); }); });
    route(window.actnUsername, &TfrmTrwMain::actnUsernameExecute);
    route(window.actnPasswd, &TfrmTrwMain::actnPasswdExecute);
    route(window.actnTree, &TfrmTrwMain::actnTreeExecute);
    route(window.actnContext, &TfrmTrwMain::actnContextExecute);
    route(window.actnServer, &TfrmTrwMain::actnServerExecute);
    route(window.actnVendor, &TfrmTrwMain::actnVendorExecute);
    route(window.actnFunction, &TfrmTrwMain::actnFunctionExecute);
    route(window.miFileExit, &TfrmTrwMain::miFileExitClick);

    // Both mode items run toggleMode, which sets both check marks itself: first undo the flip
    // Qt made to the chosen item.
    TarrowWindow::Controls& c = window.controls();
    for (QAction* item : {window.miOptionsBatch, window.miOptionsClient}) {
        QObject::connect(item, &QAction::triggered, item, [&form, &c] {
            c.optionsBatch.restore();
            c.optionsClient.restore();
            form.guarded([&] { form.toggleMode(); });
        });
    }
}

}  // namespace tarrow::qt
