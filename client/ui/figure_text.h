// Every human-readable figure of the client's log lines, in one place.
#pragma once

#include <cstdint>
#include <string>

namespace tarrow {

// Hours, minutes, seconds and milliseconds of a span, "%02d:%02d:%02d:%02d": the span is
// rounded to whole milliseconds, taken as its absolute value and modulo one day; the last
// field shows milliseconds with at least two digits (1.005 s -> "00:00:01:05").
std::string elapsedTimeText(std::int64_t elapsedUs);

// Upper-case hexadecimal with at least two digits; a negative code as its 32-bit two's
// complement (1 -> "01", -9999 -> "FFFFD8F1").
std::string resultCodeHex(std::int32_t code);

}  // namespace tarrow
