// The window's general error report: a modal message box; the program goes on.
#pragma once

#include <QWidget>
#include <string>

#include "client/ports/error_report.h"

namespace tarrow::qt {

class MessageBoxErrorReport final : public ErrorReport {
public:
    // parent may be nullptr (before the window exists).
    explicit MessageBoxErrorReport(QWidget* parent = nullptr) : parent_(parent) {}
    void show(const std::string& text) override;

private:
    QWidget* parent_;
};

}  // namespace tarrow::qt
