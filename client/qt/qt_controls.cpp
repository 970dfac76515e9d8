#include "client/qt/qt_controls.h"

#include <QProxyStyle>

#include "client/qt/latin1.h"

namespace tarrow::qt {

std::string QtEditBox::text() const { return toStdString(edit_.text()); }

void QtEditBox::setText(const std::string& text) { edit_.setText(toQString(text)); }

namespace {

// Qt masks with the style's own character (a dot in most styles); this style names ours.
class PasswordCharStyle final : public QProxyStyle {
public:
    explicit PasswordCharStyle(char c) : char_(static_cast<unsigned char>(c)) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return char_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
    int passwordChar() const { return char_; }

private:
    int char_;
};

}  // namespace

void QtEditBox::setPasswordChar(char c) {
    passwordChar_ = c;
    if (c != '\0') {
        const auto* current = dynamic_cast<const PasswordCharStyle*>(edit_.style());
        if (current == nullptr || current->passwordChar() != static_cast<unsigned char>(c)) {
            // Styles are not owned by the widgets that use them: this one goes with the edit box.
            auto* style = new PasswordCharStyle(c);
            style->setParent(&edit_);
            edit_.setStyle(style);
        }
    }
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
