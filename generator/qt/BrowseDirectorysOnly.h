// The folder browser behind the window's "..." button: folders only, with a status line.
#pragma once

#include <QString>

class QFileDialog;
class QWidget;

namespace tarrowmgr {

// Messages the browser sends to BrowseCallbackProc.
inline constexpr int kBrowseInitialized = 1;       // the dialog has been set up
inline constexpr int kBrowseSelectionChanged = 2;  // parameter: the newly selected path

// Object name of the browser's status line, which shows the selected folder's path.
inline constexpr const char* kBrowseStatusName = "BrowseStatusText";

// Shows a modal folders-only dialog owned by owner, opening with startFolder selected when
// it names an existing folder. Returns the chosen folder with one "/" appended (so the root
// gives "//"), or an empty text when the operator cancels.
QString BrowseForDirectory(QWidget* owner, const QString& title, const QString& startFolder);

// Reacts to the browser's messages: on kBrowseInitialized selects the start folder kept by
// BrowseForDirectory, on kBrowseSelectionChanged shows parameter in the status line when it
// names a folder. Returns 0 in every case; nothing it meets reaches the operator.
int BrowseCallbackProc(QFileDialog* dialog, int message, const QString& parameter, qintptr data);

}  // namespace tarrowmgr
