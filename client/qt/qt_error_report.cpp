#include "client/qt/qt_error_report.h"

#include <QApplication>
#include <QMessageBox>

#include "client/qt/latin1.h"

namespace tarrow::qt {

void MessageBoxErrorReport::show(const std::string& text) {
    QMessageBox::critical(parent_, QApplication::applicationDisplayName(), toQString(text));
}

}  // namespace tarrow::qt
