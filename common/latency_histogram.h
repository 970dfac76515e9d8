// The one latency histogram of the project: microsecond values in log-linear buckets.
//
// - Values 0 to 127 us have a bucket each (exact). Above, each power of two
//   [2^e, 2^(e+1)) is split into 64 equal buckets, so that a bucket is at most 1/64 of
//   its lower edge wide. A value is reported as the middle of its bucket: at most 0.78 %
//   from the value recorded, from 1 us to 2^32 us (71.6 minutes).
// - Larger values are counted in the top bucket; count, min, max, sum and mean stay exact
//   for every value.
// - Fixed memory (kBucketCount counters), O(1) record, merge of two histograms, and a
//   compact serialised form that round-trips exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarrow {

class LatencyHistogram {
public:
    static constexpr int kSubBucketBits = 6;                          // 64 buckets per power of two
    static constexpr std::int64_t kExactBelow = 2 << kSubBucketBits;  // 128: a bucket per value below
    static constexpr int kTopExponent = 31;                           // last power of two: [2^31, 2^32)
    static constexpr std::int64_t kHighestTracked = (std::int64_t{1} << (kTopExponent + 1)) - 1;
    static constexpr std::size_t kBucketCount = static_cast<std::size_t>(kExactBelow) +
                                                static_cast<std::size_t>(kTopExponent - kSubBucketBits) *
                                                    (std::size_t{1} << kSubBucketBits);
    // Largest relative distance of a reported value from the value recorded (up to kHighestTracked).
    static constexpr double kMaxRelativeError = 1.0 / (2 << kSubBucketBits);

    // Counts one value; a negative value counts as 0.
    void record(std::int64_t us);
    // Adds every value of other, as if each had been recorded here.
    void merge(const LatencyHistogram& other);
    void clear();

    std::uint64_t count() const { return count_; }
    std::int64_t min() const { return count_ ? min_ : 0; }
    std::int64_t max() const { return max_; }
    std::uint64_t sum() const { return sum_; }
    double mean() const { return count_ ? static_cast<double>(sum_) / static_cast<double>(count_) : 0.0; }

    // The value at quantile q (0..1): the q * count-th smallest value (at least the first)
    // as the middle of its bucket, kept within [min, max]; q = 1 gives max, and an empty
    // histogram 0.
    std::int64_t percentile(double q) const;

    // The compact form: a version byte, then unsigned LEB128 numbers: count, min, max, sum,
    // and for every bucket that holds values the gap from the previous such bucket and the
    // number of values in it. An empty histogram is 5 bytes.
    std::string serialize() const;
    // The histogram a serialize() made, or nothing when the bytes are not one.
    static std::optional<LatencyHistogram> deserialize(std::string_view bytes);
    // The same form in URL-safe base64 without padding, for text channels.
    std::string serializeText() const;
    static std::optional<LatencyHistogram> deserializeText(std::string_view text);

    bool operator==(const LatencyHistogram& other) const = default;

    // The bucket a value goes to, and the lowest and highest value it holds.
    static std::size_t bucketOf(std::int64_t us);
    static std::int64_t bucketLow(std::size_t index);
    static std::int64_t bucketHigh(std::size_t index);
    std::uint64_t bucketCount(std::size_t index) const { return buckets_[index]; }

private:
    static constexpr std::uint8_t kFormatVersion = 1;

    std::array<std::uint64_t, kBucketCount> buckets_{};
    std::uint64_t count_ = 0;
    std::uint64_t sum_ = 0;
    std::int64_t min_ = 0;
    std::int64_t max_ = 0;
};

}  // namespace tarrow
