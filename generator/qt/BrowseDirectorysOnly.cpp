#include "generator/qt/BrowseDirectorysOnly.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

namespace tarrowmgr {
namespace {

// The start folder of the browse in progress, for BrowseCallbackProc.
QString browseStartFolder;

void selectStartFolder(QFileDialog& dialog) {
    const QFileInfo start(browseStartFolder);
    if (browseStartFolder.isEmpty() || !start.isDir()) return;  // the dialog keeps its own default selection
    QDir folder(start.absoluteFilePath());
    const QString name = folder.dirName();
    if (folder.cdUp() && !name.isEmpty()) {
        dialog.setDirectory(folder);
        dialog.selectFile(name);
    } else {
        dialog.setDirectory(start.absoluteFilePath());  // the root has no parent
    }
}

}  // namespace

QString BrowseForDirectory(QWidget* owner, const QString& title, const QString& startFolder) {
    browseStartFolder = startFolder;
    QFileDialog dialog(owner, title);
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setWindowModality(Qt::WindowModal);

    auto* status = new QLabel(&dialog);
    status->setObjectName(kBrowseStatusName);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());

    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [&dialog](const QString& path) {
        BrowseCallbackProc(&dialog, kBrowseSelectionChanged, path, 0);
    });
    BrowseCallbackProc(&dialog, kBrowseInitialized, QString(), 0);

    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return {};
    return chosen.first() + QLatin1Char('/');
}

int BrowseCallbackProc(QFileDialog* dialog, int message, const QString& parameter, qintptr) {
    if (dialog == nullptr) return 0;
    if (message == kBrowseInitialized) {
        selectStartFolder(*dialog);
    } else if (message == kBrowseSelectionChanged) {
        auto* status = dialog->findChild<QLabel*>(kBrowseStatusName);
        if (status != nullptr && !parameter.isEmpty() && QFileInfo(parameter).isDir())
            status->setText(QDir::cleanPath(QFileInfo(parameter).absoluteFilePath()));
    }
    return 0;
}

}  // namespace tarrowmgr
