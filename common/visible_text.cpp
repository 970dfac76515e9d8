#include "common/visible_text.h"

#include <algorithm>

namespace tarrow {
namespace {

bool isControlByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
}

}  // namespace

bool hasControlBytes(std::string_view text) { return std::any_of(text.begin(), text.end(), isControlByte); }

std::string visibleText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (!isControlByte(c)) {
            out += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0f];
    }
    return out;
}

}  // namespace tarrow
