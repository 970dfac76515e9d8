#include "client/cli/console_controls.h"

namespace tarrow::cli {

void ConsoleComboBox::clear() {
    items_.clear();
    index_ = -1;
}

std::string ConsoleComboBox::item(int index) const {
    if (index < 0 || index >= itemCount()) return {};
    return items_[static_cast<std::size_t>(index)];
}

void ConsoleComboBox::setItemIndex(int index) {
    // As a list box does: an index outside the items selects nothing.
    index_ = index >= 0 && index < itemCount() ? index : -1;
}

void ConsoleLabel::setText(const std::string& text) {
    text_ = text;
    out_.notice("label", text);
}

void ConsoleStatusBar::setSimpleText(const std::string& text) {
    text_ = text;
    out_.notice("status", text);
}

void ConsoleFormWindow::close() {
    if (onClose_) onClose_();
}

}  // namespace tarrow::cli
