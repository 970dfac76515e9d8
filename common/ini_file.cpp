#include "common/ini_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tarrow {
namespace {

// The longest value a profile read hands back (a 2048-byte buffer with its terminator).
constexpr std::size_t kMaxValueChars = 2047;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b])) ++b;
    while (e > b && isBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

IniFile IniFile::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return IniFile{};
    std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return parse(content);
}

IniFile IniFile::parse(const std::string& content) {
    IniFile ini;
    std::map<std::string, std::string>* current = nullptr;
    std::istringstream lines(content);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string t = trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            const std::size_t close = t.find(']');
            const std::string name = trim(
                t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            current = &ini.sections_[lower(name)];
            continue;
        }
        if (current == nullptr) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = lower(trim(line.substr(0, eq)));
        if (key.empty()) continue;
        // The first occurrence of a key is the one a profile read finds.
        current->emplace(key, line.substr(eq + 1));
    }
    return ini;
}

std::optional<std::string> IniFile::find(const std::string& section, const std::string& key) const {
    const auto s = sections_.find(lower(trim(section)));
    if (s == sections_.end()) return std::nullopt;
    const auto k = s->second.find(lower(trim(key)));
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    const auto raw = find(section, key);
    if (!raw) return defaultValue.substr(0, kMaxValueChars);
    std::string value = trim(*raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    if (value.size() > kMaxValueChars) value.resize(kMaxValueChars);
    return value;
}

std::int32_t IniFile::readInteger(const std::string& section, const std::string& key,
                                  std::int32_t defaultValue) const {
    return parseProfileInteger(readString(section, key, std::string())).value_or(defaultValue);
}

bool IniFile::readBool(const std::string& section, const std::string& key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::optional<std::int32_t> parseProfileInteger(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string rest = text.substr(i);
    std::size_t prefix = 0;
    if (rest.starts_with("0x") || rest.starts_with("0X")) {
        prefix = 2;
    } else if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
        prefix = 1;
    }
    if (prefix > 0) {
        const std::size_t digits = rest.size() - prefix;
        if (digits < 1 || digits > 8) return std::nullopt;
        std::uint32_t pattern = 0;
        for (std::size_t j = prefix; j < rest.size(); ++j) {
            const int d = hexDigit(rest[j]);
            if (d < 0) return std::nullopt;
            pattern = (pattern << 4) | static_cast<std::uint32_t>(d);
        }
        // A hexadecimal value is a bit pattern; its sign is ignored.
        return static_cast<std::int32_t>(pattern);
    }
    if (rest.empty()) return std::nullopt;
    std::int64_t magnitude = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > std::int64_t{2147483648}) return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace tarrow
