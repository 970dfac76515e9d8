// The generator's random source: the same sequence after every start of the program.
#pragma once

#include <cstdint>

namespace tarrowmgr {

class RandomSource {
public:
    // Starts from the fixed state; never seeded from the clock.
    RandomSource() = default;

    // The next single-precision value, uniform in [0, 1).
    float nextUniform();

    // The next random time-out: integer part of (u * 60 + 1), a whole number from 1 to 60.
    int nextTimeout();

private:
    std::uint32_t state_ = 0x2545F491u;  // fixed starting state (any non-zero value)
};

}  // namespace tarrowmgr
