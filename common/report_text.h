// Texts shared by the reports of client and controller: times, CSV fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarrow {

// "12.345" ms from microseconds.
std::string formatMs(std::int64_t us);
// "2026-12-07T21:53:35.123Z" from ms since 1970 UTC.
std::string formatUtc(std::int64_t wallMs);
// One CSV field (RFC 4180): quoted, quotes doubled, when it holds a comma, quote, CR or LF.
std::string csvField(std::string_view text);
void appendCsvField(std::string& out, std::string_view text);

// formatUtc for a stream of times that mostly share their second: the date and time of
// day are worked out once a second.
class UtcFormatter {
public:
    void append(std::string& out, std::int64_t wallMs);

private:
    std::int64_t second_ = INT64_MIN;
    std::string prefix_;  // "2026-12-07T21:53:35."
};

}  // namespace tarrow
