// Turns the number-of-users text into a count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarrowmgr {

struct NumberOfUsers {
    bool ok = true;
    std::int32_t count = 0;  // valid when ok
    std::string error;       // why the text was refused, when !ok
};

// Blanks, tabs and line feeds are ignored anywhere. The text's leading number is read:
// decimal (optional sign, digits, decimal point, exponent "E" or "D") or, after "&H" / "&O",
// hexadecimal / octal digits; reading stops at the first character that cannot continue it.
// No leading number gives 0. The value is rounded to the nearest whole number, halves to
// even. A value outside the 32-bit signed range is refused (ok false, error says why).
NumberOfUsers parseNumberOfUsers(std::string_view text);

}  // namespace tarrowmgr
