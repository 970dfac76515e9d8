// The two clocks the controller reads: one for spans, one for time stamps in reports.
#pragma once

#include <cstdint>

namespace tarrow::ctrl {

class CtrlClock {
public:
    virtual ~CtrlClock() = default;
    // Monotonic microseconds: reply times, time-outs and rates are measured with this.
    virtual std::int64_t monotonicUs() const = 0;
    // Milliseconds since 1970-01-01 UTC: only for the time column of reports.
    virtual std::int64_t wallMs() const = 0;
};

}  // namespace tarrow::ctrl
