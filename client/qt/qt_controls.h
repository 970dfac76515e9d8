// The form's controls on Qt widgets. Each adapter borrows its widget; the window owns them.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <string>

#include "client/ports/controls.h"

namespace tarrow::qt {

class QtEditBox final : public EditBox {
public:
    explicit QtEditBox(QLineEdit& edit) : edit_(edit) {}
    std::string text() const override;
    void setText(const std::string& text) override;
    bool enabled() const override { return edit_.isEnabled(); }
    void setEnabled(bool enabled) override { edit_.setEnabled(enabled); }
    void setFocus() override { edit_.setFocus(Qt::ShortcutFocusReason); }
    char passwordChar() const override { return passwordChar_; }
    // Qt masks with its own character; any non-zero character means masked.
    void setPasswordChar(char c) override;

private:
    QLineEdit& edit_;
    char passwordChar_ = '\0';
};

class QtComboBox final : public ComboBox {
public:
    explicit QtComboBox(QComboBox& combo) : combo_(combo) {}
    void clear() override { combo_.clear(); }
    void addItem(const std::string& item) override;
    int itemCount() const override { return combo_.count(); }
    std::string item(int index) const override;
    int itemIndex() const override { return combo_.currentIndex(); }
    void setItemIndex(int index) override { combo_.setCurrentIndex(index); }
    bool enabled() const override { return combo_.isEnabled(); }
    void setEnabled(bool enabled) override { combo_.setEnabled(enabled); }
    void setFocus() override { combo_.setFocus(Qt::ShortcutFocusReason); }

private:
    QComboBox& combo_;
};

class QtLabel final : public Label {
public:
    explicit QtLabel(QLabel& label) : label_(label) {}
    std::string text() const override;
    void setText(const std::string& text) override;
    // The label's own flag, not whether its window is on screen.
    bool visible() const override { return !label_.isHidden(); }
    void setVisible(bool visible) override { label_.setVisible(visible); }

private:
    QLabel& label_;
};

class QtButton final : public Button {
public:
    explicit QtButton(QPushButton& button) : button_(button) {}
    bool enabled() const override { return button_.isEnabled(); }
    void setEnabled(bool enabled) override { button_.setEnabled(enabled); }

private:
    QPushButton& button_;
};

// The check mark belongs to the logic: Qt flips a checkable action by itself when it is
// chosen, so the front end calls restore() before the logic's handler runs.
class QtMenuItem final : public MenuItem {
public:
    explicit QtMenuItem(QAction& action) : action_(action), checked_(action.isChecked()) {}
    bool checked() const override { return checked_; }
    void setChecked(bool checked) override;
    void restore() { action_.setChecked(checked_); }

private:
    QAction& action_;
    bool checked_;
};

// Lines are gathered and handed to the pane in chunks, and whatever is left when the event
// loop next runs: a chunk of new blocks is laid out lazily, while one block at a time is laid
// out at once and keeps its layout, which costs time and memory as the pane fills.
class QtLogPane final : public LogPane {
public:
    static constexpr int kChunkLines = 4096;
    explicit QtLogPane(QPlainTextEdit& pane);
    void append(const std::string& line) override;
    void clear() override;
    // Hands every gathered line to the pane now.
    void flush();

private:
    QPlainTextEdit& pane_;
    QTimer idleFlush_;
    QString pending_;
    int pendingLines_ = 0;
};

// One simple panel: a label that fills the bar, so that menu hints never wipe the text.
class QtStatusBar final : public StatusBar {
public:
    explicit QtStatusBar(QLabel& panel) : panel_(panel) {}
    void setSimplePanel(bool simple) override { simple_ = simple; }
    std::string simpleText() const override { return text_; }
    void setSimpleText(const std::string& text) override;

private:
    QLabel& panel_;
    bool simple_ = false;
    std::string text_;
};

class QtFormWindow final : public FormWindow {
public:
    explicit QtFormWindow(QMainWindow& window) : window_(window) {}
    std::string caption() const override;
    void setCaption(const std::string& caption) override;
    void close() override { window_.close(); }

private:
    QMainWindow& window_;
};

}  // namespace tarrow::qt
