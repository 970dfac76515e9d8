// Text that stays on one line wherever it is shown: a line end or an escape sequence in a
// message from outside would otherwise break a log line in two or reach the terminal.
#pragma once

#include <string>
#include <string_view>

namespace tarrow {

// True when text holds a control byte: below 0x20, or 0x7F.
bool hasControlBytes(std::string_view text);

// text with every control byte shown as \xNN (upper-case hexadecimal); other bytes unchanged.
std::string visibleText(std::string_view text);

}  // namespace tarrow
