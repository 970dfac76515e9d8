// The production clocks: std::chrono behind the clock interfaces of client/ports.
#pragma once

#include <chrono>

#include "client/ports/clock.h"

namespace tarrow {

class SteadyMonotonicClock final : public MonotonicClock {
public:
    std::int64_t nowUs() const override {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

class SystemWallClock final : public WallClock {
public:
    std::int64_t nowSeconds() const override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

}  // namespace tarrow
