// Window-system operations the client's form logic needs, one small interface per kind of control.
// The Qt window implements them with widgets; tests use in-memory doubles.
#pragma once

#include <string>

namespace tarrow {

class EditBox {
public:
    virtual ~EditBox() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setFocus() = 0;
    // '\0' shows the text in clear; any other character masks every typed character.
    virtual char passwordChar() const = 0;
    virtual void setPasswordChar(char c) = 0;
};

class ComboBox {
public:
    virtual ~ComboBox() = default;
    virtual void clear() = 0;
    virtual void addItem(const std::string& item) = 0;
    virtual int itemCount() const = 0;
    virtual std::string item(int index) const = 0;
    // -1 when nothing is selected.
    virtual int itemIndex() const = 0;
    virtual void setItemIndex(int index) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setFocus() = 0;
};

class Label {
public:
    virtual ~Label() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string& text) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool visible) = 0;
};

class Button {
public:
    virtual ~Button() = default;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

class MenuItem {
public:
    virtual ~MenuItem() = default;
    virtual bool checked() const = 0;
    virtual void setChecked(bool checked) = 0;
};

// The read-only, append-only log pane.
class LogPane {
public:
    virtual ~LogPane() = default;
    virtual void append(const std::string& line) = 0;
    virtual void clear() = 0;
};

// A status bar with one simple panel; each write replaces the text whole.
class StatusBar {
public:
    virtual ~StatusBar() = default;
    virtual void setSimplePanel(bool simple) = 0;
    virtual std::string simpleText() const = 0;
    virtual void setSimpleText(const std::string& text) = 0;
};

// The form window itself.
class FormWindow {
public:
    virtual ~FormWindow() = default;
    virtual std::string caption() const = 0;
    virtual void setCaption(const std::string& caption) = 0;
    // Closes the window; the front end then ends the event loop and destroys the form.
    virtual void close() = 0;
};

}  // namespace tarrow
