#include "generator/logic/number_of_users.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace tarrowmgr {
namespace {

constexpr double kMin = std::numeric_limits<std::int32_t>::min();
constexpr double kMax = std::numeric_limits<std::int32_t>::max();

bool isDigit(char c, int base) {
    if (base == 8) return c >= '0' && c <= '7';
    if (base == 16) return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    return c >= '0' && c <= '9';
}

NumberOfUsers outOfRange(std::string_view text) {
    NumberOfUsers result;
    result.ok = false;
    result.error = "The number of users \"" + std::string(text) +
                   "\" is out of range: it must lie between -2147483648 and 2147483647.";
    return result;
}

NumberOfUsers fromValue(double value, std::string_view text) {
    // nearbyint follows the current rounding mode; the default rounds halves to even.
    const int previous = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(previous);
    if (!(rounded >= kMin && rounded <= kMax)) return outOfRange(text);
    NumberOfUsers result;
    result.count = static_cast<std::int32_t>(rounded);
    return result;
}

// Digits after "&H" or "&O"; s starts at the first digit.
NumberOfUsers readRadix(const std::string& s, int base, std::string_view text) {
    std::uint64_t value = 0;
    for (char c : s) {
        if (!isDigit(c, base)) break;
        const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > static_cast<std::uint64_t>(kMax)) return outOfRange(text);
    }
    return fromValue(static_cast<double>(value), text);
}

NumberOfUsers readDecimal(const std::string& s, std::string_view text) {
    std::size_t i = 0;
    std::string number;  // the accepted prefix, in the form from_chars reads
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') number += '-';
        ++i;
    }
    std::size_t digits = 0;
    for (; i < s.size() && isDigit(s[i], 10); ++i, ++digits) number += s[i];
    if (i < s.size() && s[i] == '.') {
        number += '.';
        for (++i; i < s.size() && isDigit(s[i], 10); ++i, ++digits) number += s[i];
    }
    if (digits == 0) return {};  // no leading number
    bool negativeExponent = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        // The exponent counts only when at least one digit follows its optional sign.
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            negativeExponent = s[j] == '-';
            exponent += s[j];
            ++j;
        }
        if (j < s.size() && isDigit(s[j], 10)) {
            for (; j < s.size() && isDigit(s[j], 10); ++j) exponent += s[j];
            number += exponent;
        } else {
            negativeExponent = false;
        }
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) return negativeExponent ? NumberOfUsers{} : outOfRange(text);
    if (ec != std::errc()) return {};
    return fromValue(value, text);
}

}  // namespace

NumberOfUsers parseNumberOfUsers(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') s += c;
    }
    if (s.size() >= 2 && s[0] == '&') {
        const char prefix = static_cast<char>(s[1] | 0x20);
        if (prefix == 'h') return readRadix(s.substr(2), 16, text);
        if (prefix == 'o') return readRadix(s.substr(2), 8, text);
    }
    return readDecimal(s, text);
}

}  // namespace tarrowmgr
