// A load curve: the login rate of each step of a run, as --rate or a rate file gives it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarrow::load {

struct RateStep {
    double perSecond = 0;  // 0: a pause, no login is due in this step
    double seconds = 0;    // more than 0
};

// The largest rate and step length a curve takes: far beyond what one client can run, small
// enough that due times in microseconds never overflow.
inline constexpr double kMaxRate = 1'000'000;
inline constexpr double kMaxStepSeconds = 1'000'000;

// A parsed rate file, or the text of its first fault ("FILE:LINE: ...").
struct RateFileParse {
    std::vector<RateStep> steps;
    std::string error;
};

// One step per "RATE,SECONDS" line; '#' starts a comment, blank lines are skipped, blanks and
// tabs around each number are allowed. RATE is a decimal number from 0 to kMaxRate, SECONDS
// one above 0 up to kMaxStepSeconds. A file without any step is a fault too. name is the file
// name the errors give.
RateFileParse parseRateFile(std::string_view text, const std::string& name);

// Reads and parses the file at path; a file that cannot be read is a fault naming it.
RateFileParse readRateFile(const std::string& path);

// A rate given on the command line: a decimal number above 0 up to kMaxRate, or nothing.
std::optional<double> parseRate(std::string_view text);

// The text of a curve for the report and the standard error: "500/s for 10 s, 0/s for 2 s".
std::string curveText(const std::vector<RateStep>& steps);

}  // namespace tarrow::load
