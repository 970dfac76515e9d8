#include "client/qt/qt_controls.h"

#include "client/qt/latin1.h"

namespace tarrow::qt {

std::string QtEditBox::text() const { return toStdString(edit_.text()); }

void QtEditBox::setText(const std::string& text) { edit_.setText(toQString(text)); }

void QtEditBox::setPasswordChar(char c) {
    passwordChar_ = c;
    edit_.setEchoMode(c == '\0' ? QLineEdit::Normal : QLineEdit::Password);
}

void QtComboBox::addItem(const std::string& item) { combo_.addItem(toQString(item)); }

std::string QtComboBox::item(int index) const { return toStdString(combo_.itemText(index)); }

std::string QtLabel::text() const { return toStdString(label_.text()); }

void QtLabel::setText(const std::string& text) { label_.setText(toQString(text)); }

void QtMenuItem::setChecked(bool checked) {
    checked_ = checked;
    action_.setChecked(checked);
}

QtLogPane::QtLogPane(QPlainTextEdit& pane) : pane_(pane) {
    idleFlush_.setSingleShot(true);
    idleFlush_.setInterval(0);
    QObject::connect(&idleFlush_, &QTimer::timeout, [this] { flush(); });
}

void QtLogPane::append(const std::string& line) {
    if (pendingLines_ > 0) pending_ += QLatin1Char('\n');
    pending_ += QLatin1String(line.data(), static_cast<qsizetype>(line.size()));
    if (++pendingLines_ >= kChunkLines) {
        flush();
    } else if (!idleFlush_.isActive()) {
        idleFlush_.start();
    }
}

void QtLogPane::clear() {
    idleFlush_.stop();
    pending_.clear();
    pendingLines_ = 0;
    pane_.clear();
}

void QtLogPane::flush() {
    idleFlush_.stop();
    if (pendingLines_ == 0) return;
    // One paragraph per line: the text's line breaks become block boundaries.
    pane_.appendPlainText(pending_);
    pending_.clear();
    pendingLines_ = 0;
}

void QtStatusBar::setSimpleText(const std::string& text) {
    text_ = text;
    panel_.setText(toQString(text));
}

std::string QtFormWindow::caption() const { return toStdString(window_.windowTitle()); }

void QtFormWindow::setCaption(const std::string& caption) { window_.setWindowTitle(toQString(caption)); }

}  // namespace tarrow::qt
