// In-memory controls for the form logic: each keeps the state the logic set, for tests to read.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "client/ports/controls.h"

namespace tarrow {

class FakeEditBox : public EditBox {
public:
    std::string text() const override { return text_; }
    void setText(const std::string& text) override {
        text_ = text;
        if (onSetText) onSetText(text);
    }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    void setFocus() override { ++focusCount; }
    char passwordChar() const override { return passwordChar_; }
    void setPasswordChar(char c) override { passwordChar_ = c; }

    int focusCount = 0;  // times the focus was moved here
    // Runs after every setText: lets a test act at a precise point of a run.
    std::function<void(const std::string&)> onSetText;

private:
    std::string text_;
    bool enabled_ = true;
    char passwordChar_ = '\0';
};

class FakeComboBox : public ComboBox {
public:
    void clear() override {
        items.clear();
        index_ = -1;
    }
    void addItem(const std::string& item) override { items.push_back(item); }
    int itemCount() const override { return static_cast<int>(items.size()); }
    std::string item(int index) const override { return items.at(static_cast<std::size_t>(index)); }
    int itemIndex() const override { return index_; }
    void setItemIndex(int index) override { index_ = index >= 0 && index < itemCount() ? index : -1; }
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }
    void setFocus() override { ++focusCount; }

    // The shown text: the selected item, or empty.
    std::string selectedText() const { return index_ < 0 ? std::string() : item(index_); }

    std::vector<std::string> items;
    int focusCount = 0;

private:
    int index_ = -1;
    bool enabled_ = true;
};

class FakeLabel : public Label {
public:
    std::string text() const override { return text_; }
    void setText(const std::string& text) override { text_ = text; }
    bool visible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }

private:
    std::string text_;
    bool visible_ = false;
};

class FakeButton : public Button {
public:
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override { enabled_ = enabled; }

private:
    bool enabled_ = true;
};

class FakeMenuItem : public MenuItem {
public:
    bool checked() const override { return checked_; }
    void setChecked(bool checked) override { checked_ = checked; }

private:
    bool checked_ = false;
};

// Keeps its lines; `events` interleaves appends and clears for order checks.
class FakeLogPane : public LogPane {
public:
    void append(const std::string& line) override {
        ++appendCount;
        if (!keepLines) {
            lastLine = line;
            return;
        }
        lines.push_back(line);
        if (keepEvents) events.push_back("append:" + line);
    }
    void clear() override {
        lines.clear();
        if (keepEvents) events.push_back("clear");
    }

    std::vector<std::string> lines;
    // Off for benchmarks, so that a long run keeps one copy of each line only.
    bool keepEvents = true;
    // Off for benchmarks of the logic alone: only the count and the last line are kept.
    bool keepLines = true;
    std::size_t appendCount = 0;
    std::string lastLine;
    std::vector<std::string> events;
};

class FakeStatusBar : public StatusBar {
public:
    void setSimplePanel(bool simple) override { simplePanel = simple; }
    std::string simpleText() const override { return text_; }
    void setSimpleText(const std::string& text) override {
        text_ = text;
        history.push_back(text);
    }

    bool simplePanel = false;
    std::vector<std::string> history;  // every text written, in order

private:
    std::string text_;
};

class FakeFormWindow : public FormWindow {
public:
    std::string caption() const override { return caption_; }
    void setCaption(const std::string& caption) override { caption_ = caption; }
    void close() override { ++closeCount; }

    int closeCount = 0;

private:
    std::string caption_;
};

}  // namespace tarrow
