#include "controller/core/latency_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace tarrow::ctrl {

// Values below kSub have a bucket each. Above, each power of two [2^e, 2^(e+1)) with
// e >= kSubBits is split into kSub/2 equal buckets.
std::size_t LatencyHistogram::indexOf(std::uint64_t us) {
    if (us < static_cast<std::uint64_t>(kSub)) return static_cast<std::size_t>(us);
    const int e = static_cast<int>(std::bit_width(us)) - 1;                // >= kSubBits
    const int shift = e - (kSubBits - 1);                 // keeps kSubBits significant bits
    const std::uint64_t sub = (us >> shift) - kSub / 2;   // 0 .. kSub/2 - 1
    return static_cast<std::size_t>(kSub + (e - kSubBits) * (kSub / 2)) + static_cast<std::size_t>(sub);
}

std::int64_t LatencyHistogram::lowerOf(std::size_t index) {
    if (index < static_cast<std::size_t>(kSub)) return static_cast<std::int64_t>(index);
    const std::size_t rel = index - kSub;
    const int e = static_cast<int>(rel / (kSub / 2)) + kSubBits;
    const std::uint64_t sub = rel % (kSub / 2) + kSub / 2;
    const int shift = e - (kSubBits - 1);
    return static_cast<std::int64_t>(sub << shift);
}

void LatencyHistogram::add(std::int64_t us) {
    us = std::max<std::int64_t>(us, 0);
    ++buckets_[indexOf(static_cast<std::uint64_t>(us))];
    if (count_ == 0 || us < minUs_) minUs_ = us;
    maxUs_ = std::max(maxUs_, us);
    ++count_;
    sumUs_ += us;
}

std::int64_t LatencyHistogram::percentileUs(double q) const {
    if (count_ == 0) return 0;
    q = std::clamp(q, 0.0, 1.0);
    const auto rank = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(q * static_cast<double>(count_))));
    if (rank >= count_) return maxUs_;
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < buckets_.size(); ++i) {
        seen += buckets_[i];
        if (seen >= rank) return std::clamp(lowerOf(i), minUs_, maxUs_);
    }
    return maxUs_;
}

}  // namespace tarrow::ctrl
