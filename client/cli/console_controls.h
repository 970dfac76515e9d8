// The form's controls without a window: inputs are held in memory; the log pane, the status
// text, the countdown label and the error report go to the console.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "client/cli/console_output.h"
#include "client/ports/controls.h"
#include "client/ports/error_report.h"

namespace tarrow::cli {

class ConsoleEditBox final : public EditBox {
public:
    std::string text() const override { return text_; }
    void setText(const std::string& text) override { text_ = text; }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    void setFocus() override {}
    char passwordChar() const override { return passwordChar_; }
    void setPasswordChar(char c) override { passwordChar_ = c; }

private:
    std::string text_;
    bool enabled_ = true;
    char passwordChar_ = '\0';
};

class ConsoleComboBox final : public ComboBox {
public:
    void clear() override;
    void addItem(const std::string& item) override { items_.push_back(item); }
    int itemCount() const override { return static_cast<int>(items_.size()); }
    std::string item(int index) const override;
    int itemIndex() const override { return index_; }
    void setItemIndex(int index) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    void setFocus() override {}

private:
    std::vector<std::string> items_;
    int index_ = -1;
    bool enabled_ = true;
};

// Every text written to it is printed as "label: TEXT".
class ConsoleLabel final : public Label {
public:
    explicit ConsoleLabel(ConsoleOutput& out) : out_(out) {}
    std::string text() const override { return text_; }
    void setText(const std::string& text) override;
    bool visible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

private:
    ConsoleOutput& out_;
    std::string text_;
    bool visible_ = true;
};

class ConsoleButton final : public Button {
public:
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }

private:
    bool enabled_ = true;
};

class ConsoleMenuItem final : public MenuItem {
public:
    explicit ConsoleMenuItem(bool checked) : checked_(checked) {}
    bool checked() const override { return checked_; }
    void setChecked(bool checked) override { checked_ = checked; }

private:
    bool checked_;
};

// Each line on standard output, exactly as the pane would hold it.
class ConsoleLogPane final : public LogPane {
public:
    explicit ConsoleLogPane(ConsoleOutput& out) : out_(out) {}
    void append(const std::string& line) override { out_.logLine(line); }
    // Lines already printed stay printed.
    void clear() override {}

private:
    ConsoleOutput& out_;
};

// Every status text written is printed as "status: TEXT".
class ConsoleStatusBar final : public StatusBar {
public:
    explicit ConsoleStatusBar(ConsoleOutput& out) : out_(out) {}
    void setSimplePanel(bool simple) override { simple_ = simple; }
    std::string simpleText() const override { return text_; }
    void setSimpleText(const std::string& text) override;

private:
    ConsoleOutput& out_;
    bool simple_ = false;
    std::string text_;
};

class ConsoleFormWindow final : public FormWindow {
public:
    // onClose ends the front end's event loop.
    explicit ConsoleFormWindow(std::function<void()> onClose) : onClose_(std::move(onClose)) {}
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& caption) override { caption_ = caption; }
    void close() override;

private:
    std::function<void()> onClose_;
    std::string caption_;
};

// The general error report: "error: TEXT" on standard error; the program goes on.
class ConsoleErrorReport final : public ErrorReport {
public:
    explicit ConsoleErrorReport(ConsoleOutput& out) : out_(out) {}
    void show(const std::string& text) override { out_.notice("error", text); }

private:
    ConsoleOutput& out_;
};

}  // namespace tarrow::cli
