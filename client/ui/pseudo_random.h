// The client's pseudo-random generator: a 64-bit linear congruential generator whose upper
// bits give the result. Small, fast and fully determined by its seed, so that two clients
// seeded in the same second draw the same sequence.
#pragma once

#include <cstdint>

#include "client/ports/clock.h"

namespace tarrow {

class PseudoRandom : public RandomSource {
public:
    explicit PseudoRandom(std::uint32_t seedValue = 0) { seed(seedValue); }
    void seed(std::uint32_t seedValue) override;
    // A non-negative integer below 2^31.
    std::int32_t next() override;

private:
    std::uint64_t state_ = 0;
};

}  // namespace tarrow
