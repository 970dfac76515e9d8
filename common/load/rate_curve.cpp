#include "common/load/rate_curve.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

namespace tarrow::load {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A plain decimal number: digits with an optional fraction, no sign, exponent, "inf" or "nan".
std::optional<double> decimal(std::string_view s) {
    s = trimmed(s);
    if (s.empty() || s.size() > 32) return std::nullopt;
    for (char c : s) {
        if ((c < '0' || c > '9') && c != '.') return std::nullopt;
    }
    double value = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value, std::chars_format::fixed);
    if (ec != std::errc() || ptr != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

}  // namespace

std::optional<double> parseRate(std::string_view text) {
    const auto rate = decimal(text);
    if (!rate || *rate <= 0 || *rate > kMaxRate) return std::nullopt;
    return rate;
}

RateFileParse parseRateFile(std::string_view text, const std::string& name) {
    RateFileParse out;
    std::size_t lineNumber = 0;
    while (!text.empty() || lineNumber == 0) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        line = trimmed(line);
        if (line.empty()) {
            if (text.empty()) break;
            continue;
        }
        const std::string where = name + ":" + std::to_string(lineNumber) + ": ";
        const std::size_t comma = line.find(',');
        if (comma == std::string_view::npos || line.find(',', comma + 1) != std::string_view::npos) {
            out.error = where + "expected RATE,SECONDS";
            break;
        }
        const auto rate = decimal(line.substr(0, comma));
        const auto seconds = decimal(line.substr(comma + 1));
        if (!rate || *rate > kMaxRate) {
            out.error = where + "the rate must be a number from 0 to " + number(kMaxRate);
            break;
        }
        if (!seconds || *seconds <= 0 || *seconds > kMaxStepSeconds) {
            out.error = where + "the seconds must be a number above 0 up to " + number(kMaxStepSeconds);
            break;
        }
        out.steps.push_back({*rate, *seconds});
        if (text.empty()) break;
    }
    if (out.error.empty() && out.steps.empty()) out.error = name + ": no RATE,SECONDS line";
    if (!out.error.empty()) out.steps.clear();
    return out;
}

RateFileParse readRateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {{}, path + ": cannot be read"};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return {{}, path + ": cannot be read"};
    return parseRateFile(text.str(), path);
}

std::string curveText(const std::vector<RateStep>& steps) {
    std::string out;
    for (const RateStep& s : steps) {
        if (!out.empty()) out += ", ";
        out += number(s.perSecond) + "/s for " + number(s.seconds) + " s";
    }
    return out;
}

}  // namespace tarrow::load
