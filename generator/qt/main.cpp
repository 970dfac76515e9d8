// TarrowMgr: the workload-file generator's window. It takes no arguments.
#include <QApplication>
#include <QUrl>

#include "generator/logic/version_info.h"
#include "generator/posix/home_folder.h"
#include "generator/qt/TarrowMgrFrm.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(tarrowmgr::kProductName));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tarrowmgr::kFileVersion));
    app.setProperty("fileDescription", QString::fromLatin1(tarrowmgr::kFileDescription));

    // The read-me is copied next to the program when it is built.
    const QUrl readme = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() +
                                            QStringLiteral("/README.md"));
    tarrowmgr::TarrowMgrFrm form(tarrowmgr::defaultInputs(tarrowmgr::userHomeFolder()),
                                 readme.toEncoded().toStdString());
    form.show();
    return app.exec();
}
