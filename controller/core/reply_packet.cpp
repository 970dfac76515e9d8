#include "controller/core/reply_packet.h"

#include <charconv>

namespace tarrow::ctrl {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The code after "R": optional minus, then digits without a leading zero, within 32 bits.
bool parseCode(std::string_view text, std::int32_t& code) {
    std::size_t i = text.empty() || text[0] != '-' ? 0 : 1;
    if (i >= text.size() || text[i] == '0') return false;
    for (std::size_t j = i; j < text.size(); ++j)
        if (!isDigit(text[j])) return false;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
    return ec == std::errc() && ptr == text.data() + text.size();
}

}  // namespace

ReplyState replyState(std::string_view bytes) {
    if (bytes.empty()) return ReplyState::NeedsQuiet;
    if (bytes[0] != 'R' || bytes.size() > kMaxReplyBytes) return ReplyState::Invalid;
    if (bytes.size() == 1) return ReplyState::NeedsQuiet;
    const std::string_view rest = bytes.substr(1);
    if (rest[0] == '0') return ReplyState::NeedsQuiet;
    if (rest == "-") return ReplyState::NeedsQuiet;
    std::int32_t code = 0;
    return parseCode(rest, code) ? ReplyState::Complete : ReplyState::Invalid;
}

bool parseReply(std::string_view bytes, Reply& out) {
    if (bytes.size() < 2 || bytes.size() > kMaxReplyBytes || bytes[0] != 'R') return false;
    if (bytes[1] == '0') {
        out = Reply{ReplyKind::Error, 0, bytes.substr(2)};
        return true;
    }
    std::int32_t code = 0;
    if (!parseCode(bytes.substr(1), code)) return false;
    out = Reply{code == 1 ? ReplyKind::Success : ReplyKind::Failed, code, {}};
    return true;
}

}  // namespace tarrow::ctrl
