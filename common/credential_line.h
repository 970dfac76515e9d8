// The credential-line format shared by the users file, the INI value and credential packets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// True for the three field separators: comma, semicolon and space.
constexpr bool isCredentialSeparator(char c) { return c == ',' || c == ';' || c == ' '; }

// Splits a line into its fields: maximal runs of non-separator characters. At most
// maxFields are returned (further fields are not collected).
std::vector<std::string> splitCredentialLine(std::string_view line, std::size_t maxFields = 5);

}  // namespace tarrow
