// Injected clocks and the pseudo-random source.
#pragma once

#include <cstdint>

namespace tarrow {

// Monotonic time for measuring spans: never goes back when the wall clock is set.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t nowUs() const = 0;
};

// Wall-clock time, used only where the time of day matters (seeding).
class WallClock {
public:
    virtual ~WallClock() = default;
    // Seconds since 1970-01-01 UTC.
    virtual std::int64_t nowSeconds() const = 0;
};

// Yields non-negative integers below 2^31.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void seed(std::uint32_t seed) = 0;
    virtual std::int32_t next() = 0;
};

}  // namespace tarrow
