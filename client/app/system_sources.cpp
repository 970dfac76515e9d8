#include "client/app/system_sources.h"

namespace tarrow {

namespace {
// Knuth's MMIX constants: full period over 2^64.
constexpr std::uint64_t kMultiplier = 6364136223846793005ULL;
constexpr std::uint64_t kIncrement = 1442695040888963407ULL;
}  // namespace

void PseudoRandom::seed(std::uint32_t seedValue) {
    state_ = seedValue;
    // One step, so that neighbouring seeds do not start with neighbouring numbers.
    state_ = state_ * kMultiplier + kIncrement;
}

std::int32_t PseudoRandom::next() {
    state_ = state_ * kMultiplier + kIncrement;
    // The upper bits of an LCG are its best; 31 of them keep the result non-negative.
    return static_cast<std::int32_t>(state_ >> 33);
}

}  // namespace tarrow
