// Joins the window to the form logic: the ports the form works through, and every click,
// menu choice and shortcut routed to the form's handlers under its error report.
#pragma once

#include <string>

#include "client/app/TrwU.h"
#include "client/qt/client_platform.h"
#include "client/qt/tarrow_window.h"

namespace tarrow::qt {

// logPane: where the form's log lines go; nullptr: the window's log pane.
TrwPorts windowPorts(TarrowWindow& window, ClientPlatform& platform, ErrorReport& errorReport,
                     const std::string& iniPath, LogPane* logPane = nullptr);

// Call once, after the form is built; the form must outlive the window's event handling.
void connectForm(TarrowWindow& window, TfrmTrwMain& form);

}  // namespace tarrow::qt
