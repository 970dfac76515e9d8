// Reads a profile (INI) file with the platform's profile conventions.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace tarrow {

class IniFile {
public:
    // Reads the whole file once. A missing or unreadable file gives an empty profile
    // (every read then yields its default).
    static IniFile load(const std::string& path);
    static IniFile parse(const std::string& content);

    // Section and key names match without regard to letter case. The value is the text after
    // the first "=", blanks trimmed, one pair of enclosing quotes (single or double) removed,
    // at most 2047 characters. A key present with an empty value yields the empty text.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // An optional sign, then decimal digits within 32 bits, or "$", "x", "X", "0x", "0X" and
    // one to eight hexadecimal digits taken as a 32-bit pattern. Anything else: the default.
    std::int32_t readInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;
    // An integer (default 0 or 1); non-zero is true.
    bool readBool(const std::string& section, const std::string& key, bool defaultValue) const;

private:
    // The raw value of a key, absent when the section or key is not there.
    std::optional<std::string> find(const std::string& section, const std::string& key) const;
    // lower-case section -> lower-case key -> value as written after "=" (untrimmed)
    std::map<std::string, std::map<std::string, std::string>> sections_;
};

// Converts a profile integer text; std::nullopt when it does not convert.
std::optional<std::int32_t> parseProfileInteger(const std::string& text);

}  // namespace tarrow
