#include "client/ui/figure_text.h"

#include <cstdio>

namespace tarrow {

std::string elapsedTimeText(std::int64_t elapsedUs) {
    constexpr std::int64_t kDayMs = 86'400'000;
    const std::uint64_t absUs = elapsedUs < 0 ? 0 - static_cast<std::uint64_t>(elapsedUs)
                                              : static_cast<std::uint64_t>(elapsedUs);
    const std::int64_t ms = static_cast<std::int64_t>(((absUs + 500) / 1000) % kDayMs);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%02d", static_cast<int>(ms / 3'600'000),
                  static_cast<int>(ms / 60'000 % 60), static_cast<int>(ms / 1000 % 60),
                  static_cast<int>(ms % 1000));
    return text;
}

std::string resultCodeHex(std::int32_t code) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    return text;
}

}  // namespace tarrow
