// The real clocks.
#pragma once

#include "controller/core/ctrl_clock.h"

#include <chrono>

namespace tarrow::ctrl {

class SystemCtrlClock : public CtrlClock {
public:
    std::int64_t monotonicUs() const override {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    std::int64_t wallMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace tarrow::ctrl
