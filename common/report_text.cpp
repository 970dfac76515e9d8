#include "common/report_text.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace tarrow {
namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

std::string formatMs(std::int64_t us) {
    char buf[32];
    const char* sign = us < 0 ? "-" : "";
    const std::int64_t a = us < 0 ? -us : us;
    std::snprintf(buf, sizeof buf, "%s%" PRId64 ".%03" PRId64, sign, a / 1000, a % 1000);
    return buf;
}

std::string formatUtc(std::int64_t wallMs) {
    std::string out;
    UtcFormatter().append(out, wallMs);
    return out;
}

void UtcFormatter::append(std::string& out, std::int64_t wallMs) {
    const std::int64_t second = floorDiv(wallMs, 1000);
    if (second != second_) {
        const auto seconds = static_cast<std::time_t>(second);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        char buf[96];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        prefix_ = buf;
        second_ = second;
    }
    const auto ms = static_cast<int>(wallMs - second * 1000);
    const char tail[4] = {static_cast<char>('0' + ms / 100), static_cast<char>('0' + ms / 10 % 10),
                          static_cast<char>('0' + ms % 10), 'Z'};
    out.append(prefix_.data(), prefix_.size());
    out.append(tail, sizeof tail);
}

void appendCsvField(std::string& out, std::string_view text) {
    bool plain = true;
    for (const char c : text) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n') {
            plain = false;
            break;
        }
    }
    if (plain) {
        out.append(text.data(), text.size());
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string csvField(std::string_view text) {
    std::string out;
    appendCsvField(out, text);
    return out;
}

}  // namespace tarrow
