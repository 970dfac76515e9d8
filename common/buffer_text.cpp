#include "common/buffer_text.h"

#include <algorithm>

namespace tarrow {

std::string bufferText(const std::string& bytes, std::size_t bufferBytes) {
    if (bufferBytes == 0) return {};
    const std::size_t limit = std::min(bytes.size(), bufferBytes - 1);
    const std::size_t zero = bytes.find('\0');
    return bytes.substr(0, zero < limit ? zero : limit);
}

}  // namespace tarrow
