#include "generator/logic/random_source.h"

namespace tarrowmgr {

float RandomSource::nextUniform() {
    // Marsaglia's xorshift32: full period over the non-zero 32-bit states.
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    // The top 24 bits fit a float's mantissa exactly, so the value stays below 1.
    return static_cast<float>(state_ >> 8) * (1.0f / 16777216.0f);
}

int RandomSource::nextTimeout() {
    // Computed in double: in float, u just below 1 times 60 could round up to 60 and give 61.
    return static_cast<int>(static_cast<double>(nextUniform()) * 60.0 + 1.0);
}

}  // namespace tarrowmgr
