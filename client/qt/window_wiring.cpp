#include "client/qt/window_wiring.h"

#include <QObject>

namespace tarrow::qt {

TrwPorts windowPorts(TarrowWindow& window, ClientPlatform& platform, ErrorReport& errorReport,
                     const std::string& iniPath) {
    TarrowWindow::Controls& c = window.controls();
    return TrwPorts{c.window,          c.user,           c.passwd,          c.tree,
                    c.context,         c.server,         c.vendor,          c.function,
                    c.funcTimer,       c.execute,        c.optionsBatch,    c.optionsClient,
                    c.debug,           c.status,         platform.timeDiscover, platform.timeEvent,
                    platform.timeCountdown, platform.sktOutput, platform.sktInput, platform.tcpTransport,
                    platform.monotonicClock, platform.wallClock, platform.random, errorReport,
                    iniPath};
}

void connectForm(TarrowWindow& window, TfrmTrwMain& form) {
    const auto route = [&form](QAction* action, void (TfrmTrwMain::*handler)()) {
        QObject::connect(action, &QAction::triggered, action, [&form, handler] { form.guarded([&] { (form.*handler)(); }); });
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
