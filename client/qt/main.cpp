// Program entry of the window Tarrow: the application, the main form, the event loop.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <memory>

#include "client/app/client_settings.h"
#include "client/ports/error_report.h"
#include "client/app/timings_switch.h"
#include "client/qt/loop_guard.h"
#include "client/qt/latin1.h"
#include "client/qt/qt_error_report.h"
#include "client/qt/window_wiring.h"

namespace {

constexpr const char* kTitle = "Tarrow Client";

void run() {
    QApplication::setApplicationDisplayName(QString::fromLatin1(kTitle));
    tarrow::qt::TarrowWindow window;
    tarrow::qt::MessageBoxErrorReport report(&window);
    tarrow::qt::setLoopErrorReport(&report);
    tarrow::qt::ClientPlatform platform;
    const std::string iniPath = tarrow::clientIniPath(
        QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
    {
        TfrmTrwMain form(tarrow::qt::windowPorts(window, platform, report, iniPath));
        form.offerTimings = tarrow::timingsOfferedByEnvironment();
        tarrow::qt::connectForm(window, form);
        window.show();
        QApplication::exec();
        // Closing the window ends the loop; the form goes here (FormDestroy logs out).
    }
    tarrow::qt::setLoopErrorReport(nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    std::unique_ptr<QApplication> app;
    try {
        app = std::make_unique<QApplication>(argc, argv);
        run();
    } catch (...) {
        const std::string text = tarrow::currentExceptionText();
        if (app) {
            QMessageBox::critical(nullptr, QString::fromLatin1(kTitle), tarrow::qt::toQString(text));
        } else {
            std::fprintf(stderr, "error: %s\n", text.c_str());
        }
    }
    return 0;
}
