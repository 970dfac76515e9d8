// The credential-line format shared by the users file, the INI value and credential packets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarrow {

// True for the three field separators: comma, semicolon and space.
constexpr bool isCredentialSeparator(char c) { return c == ',' || c == ';' || c == ' '; }

// The next field at or after pos (a maximal run of non-separator characters), pos moved past
// it; empty when no field is left. A view into line, for readers that copy nothing.
std::string_view nextCredentialField(std::string_view line, std::size_t& pos);

// Splits a line into its fields: maximal runs of non-separator characters. At most
// maxFields are returned (further fields are not collected).
std::vector<std::string> splitCredentialLine(std::string_view line, std::size_t maxFields = 5);

}  // namespace tarrow
