// The production clocks and pseudo-random source, behind the interfaces of client/ports: the
// one place both front ends take them from.
#pragma once

#include <chrono>
#include <cstdint>

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

// A 64-bit linear congruential generator whose upper bits give the result. Small, fast and
// fully determined by its seed, so that two clients seeded in the same second draw the same
// sequence.
class PseudoRandom final : public RandomSource {
public:
    explicit PseudoRandom(std::uint32_t seedValue = 0) { seed(seedValue); }
    void seed(std::uint32_t seedValue) override;
    // A non-negative integer below 2^31.
    std::int32_t next() override;

private:
    std::uint64_t state_ = 0;
};

// The clocks and the random source of one client.
struct SystemSources {
    SteadyMonotonicClock monotonicClock;
    SystemWallClock wallClock;
    PseudoRandom random;
};

}  // namespace tarrow
