#include "common/timings_extension.h"

#include <charconv>

namespace tarrow::timings {
namespace {

// Record keys: one letter per figure. The order of writing is fixed; reading takes any order.
constexpr char kExecuteKey = 'e';
constexpr char kLagKey = 'l';
// In the order of LoginPhase: connect, tls, bind, verify, unbind.
constexpr std::array<char, kLoginPhaseCount> kPhaseKeys{'c', 't', 'b', 'v', 'u'};
constexpr std::size_t kMaxKeyLetters = 8;
constexpr std::size_t kMaxValueDigits = 18;  // fits std::int64_t with room

void appendField(std::string& out, char key, std::int64_t value) {
    if (value == -1) return;
    if (value < 0) value = 0;
    if (out.back() != '\0') out += ' ';
    out += key;
    out += '=';
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end);
}

bool isLower(char c) { return c >= 'a' && c <= 'z'; }

// One "key=digits" field; false when it is not of that form.
bool readField(std::string_view field, LoginTimings& out) {
    const std::size_t eq = field.find('=');
    if (eq == 0 || eq == std::string_view::npos || eq > kMaxKeyLetters) return false;
    for (std::size_t i = 0; i < eq; ++i)
        if (!isLower(field[i])) return false;
    const std::string_view digits = field.substr(eq + 1);
    if (digits.empty() || digits.size() > kMaxValueDigits) return false;
    std::int64_t value = 0;
    const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || ptr != digits.data() + digits.size() || digits[0] == '-' || digits[0] == '+')
        return false;
    if (eq != 1) return true;  // a longer key: a figure of a later minor version
    const char key = field[0];
    if (key == kExecuteKey) out.executeUs = value;
    else if (key == kLagKey)
        out.lagUs = value;
    for (int p = 0; p < kLoginPhaseCount; ++p)
        if (key == kPhaseKeys[static_cast<std::size_t>(p)]) out.phases.set(static_cast<LoginPhase>(p), value);
    return true;
}

}  // namespace

std::size_t requestLength(std::string_view packet) {
    return packet.substr(0, kRequestPacket.size()) == kRequestPacket ? kRequestPacket.size() : 0;
}

void appendRecord(std::string& out, const LoginTimings& t) {
    out += '\0';
    appendField(out, kExecuteKey, t.executeUs);
    appendField(out, kLagKey, t.lagUs);
    for (int p = 0; p < kLoginPhaseCount; ++p) {
        if (!t.phases.has(p)) continue;
        const std::int64_t us = t.phases.us[static_cast<std::size_t>(p)];
        appendField(out, kPhaseKeys[static_cast<std::size_t>(p)], us < 0 ? 0 : us);
    }
    out += '\n';
}

RecordState parseRecord(std::string_view bytes, LoginTimings& out, std::size_t& consumed) {
    const std::size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos)
        return bytes.size() < kMaxRecordBytes && bytes.find('\0') == std::string_view::npos
                 ? RecordState::Incomplete
                 : RecordState::Invalid;
    if (lf + 1 > kMaxRecordBytes) return RecordState::Invalid;
    LoginTimings read;
    std::string_view rest = bytes.substr(0, lf);
    while (!rest.empty()) {
        const std::size_t space = rest.find(' ');
        if (!readField(rest.substr(0, space), read)) return RecordState::Invalid;
        if (space == std::string_view::npos) break;
        rest.remove_prefix(space + 1);
        if (rest.empty()) return RecordState::Invalid;  // a trailing blank
    }
    out = read;
    consumed = lf + 1;
    return RecordState::Complete;
}

}  // namespace tarrow::timings
