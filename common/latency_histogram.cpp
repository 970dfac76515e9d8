#include "common/latency_histogram.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace tarrow {
namespace {

constexpr std::uint64_t kSubBuckets = std::uint64_t{1} << LatencyHistogram::kSubBucketBits;

void putNumber(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

bool getNumber(std::string_view& in, std::uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (in.empty()) return false;
        const auto byte = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        const std::uint64_t bits = byte & 0x7Fu;
        if (shift == 63 && bits > 1) return false;  // more than 64 bits
        v |= bits << shift;
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

}  // namespace

std::size_t LatencyHistogram::bucketOf(std::int64_t us) {
    if (us < kExactBelow) return us < 0 ? 0 : static_cast<std::size_t>(us);
    const auto v = static_cast<std::uint64_t>(std::min(us, kHighestTracked));
    const int e = static_cast<int>(std::bit_width(v)) - 1;  // kSubBucketBits + 1 .. kTopExponent
    const int shift = e - kSubBucketBits;
    const std::uint64_t sub = (v >> shift) - kSubBuckets;  // 0 .. 63
    return static_cast<std::size_t>(kExactBelow) +
           static_cast<std::size_t>(e - kSubBucketBits - 1) * kSubBuckets + static_cast<std::size_t>(sub);
}

std::int64_t LatencyHistogram::bucketLow(std::size_t index) {
    if (index < static_cast<std::size_t>(kExactBelow)) return static_cast<std::int64_t>(index);
    const std::size_t rel = index - static_cast<std::size_t>(kExactBelow);
    const int shift = static_cast<int>(rel / kSubBuckets) + 1;
    return static_cast<std::int64_t>((kSubBuckets + rel % kSubBuckets) << shift);
}

std::int64_t LatencyHistogram::bucketHigh(std::size_t index) {
    if (index < static_cast<std::size_t>(kExactBelow)) return static_cast<std::int64_t>(index);
    const std::size_t rel = index - static_cast<std::size_t>(kExactBelow);
    const int shift = static_cast<int>(rel / kSubBuckets) + 1;
    return bucketLow(index) + (std::int64_t{1} << shift) - 1;
}

void LatencyHistogram::record(std::int64_t us) {
    if (us < 0) us = 0;
    ++buckets_[bucketOf(us)];
    if (count_ == 0 || us < min_) min_ = us;
    if (us > max_) max_ = us;
    ++count_;
    sum_ += static_cast<std::uint64_t>(us);
}

void LatencyHistogram::merge(const LatencyHistogram& other) {
    if (other.count_ == 0) return;
    for (std::size_t i = 0; i < kBucketCount; ++i) buckets_[i] += other.buckets_[i];
    min_ = count_ == 0 ? other.min_ : std::min(min_, other.min_);
    max_ = std::max(max_, other.max_);
    count_ += other.count_;
    sum_ += other.sum_;
}

void LatencyHistogram::clear() { *this = LatencyHistogram{}; }

std::int64_t LatencyHistogram::percentile(double q) const {
    if (count_ == 0) return 0;
    if (!(q > 0.0)) return min_;  // also for NaN
    if (q >= 1.0) return max_;
    const auto rank = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(q * static_cast<double>(count_))));
    if (rank >= count_) return max_;
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kBucketCount; ++i) {
        seen += buckets_[i];
        if (seen >= rank) {
            const std::int64_t middle = bucketLow(i) + (bucketHigh(i) - bucketLow(i)) / 2;
            return std::clamp(middle, min_, max_);
        }
    }
    return max_;
}

std::string LatencyHistogram::serialize() const {
    std::string out;
    out.push_back(static_cast<char>(kFormatVersion));
    putNumber(out, count_);
    putNumber(out, static_cast<std::uint64_t>(min()));
    putNumber(out, static_cast<std::uint64_t>(max_));
    putNumber(out, sum_);
    std::size_t next = 0;  // the first index the next gap counts from
    for (std::size_t i = 0; i < kBucketCount; ++i) {
        if (buckets_[i] == 0) continue;
        putNumber(out, i - next);
        putNumber(out, buckets_[i]);
        next = i + 1;
    }
    return out;
}

std::optional<LatencyHistogram> LatencyHistogram::deserialize(std::string_view in) {
    if (in.empty() || static_cast<std::uint8_t>(in.front()) != kFormatVersion) return std::nullopt;
    in.remove_prefix(1);
    LatencyHistogram h;
    std::uint64_t count = 0, min = 0, max = 0, sum = 0;
    if (!getNumber(in, count) || !getNumber(in, min) || !getNumber(in, max) || !getNumber(in, sum))
        return std::nullopt;
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (min > limit || max > limit || min > max) return std::nullopt;
    std::uint64_t inBuckets = 0;
    std::size_t next = 0;
    while (!in.empty()) {
        std::uint64_t gap = 0, n = 0;
        if (!getNumber(in, gap) || !getNumber(in, n) || n == 0) return std::nullopt;
        if (gap >= kBucketCount - next) return std::nullopt;
        const std::size_t i = next + static_cast<std::size_t>(gap);
        if (n > count - inBuckets) return std::nullopt;
        h.buckets_[i] = n;
        inBuckets += n;
        next = i + 1;
    }
    if (inBuckets != count) return std::nullopt;
    // Every value lies within [min, max], so must their sum (without overflow: a sum beyond
    // 64 bits cannot be written).
    if (count && (sum / count < min || sum / count > max)) return std::nullopt;
    if (count == 0 ? (min != 0 || max != 0 || sum != 0)
                   : (h.buckets_[bucketOf(static_cast<std::int64_t>(min))] == 0 ||
                      h.buckets_[bucketOf(static_cast<std::int64_t>(max))] == 0))
        return std::nullopt;
    h.count_ = count;
    h.min_ = static_cast<std::int64_t>(min);
    h.max_ = static_cast<std::int64_t>(max);
    h.sum_ = sum;
    return h;
}

std::string LatencyHistogram::serializeText() const {
    const std::string bytes = serialize();
    std::string out;
    out.reserve((bytes.size() * 4 + 2) / 3);
    std::uint32_t acc = 0;
    int bits = 0;
    for (const char c : bytes) {
        acc = (acc << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out.push_back(kBase64[(acc >> bits) & 0x3F]);
        }
    }
    if (bits > 0) out.push_back(kBase64[(acc << (6 - bits)) & 0x3F]);
    return out;
}

std::optional<LatencyHistogram> LatencyHistogram::deserializeText(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() * 3 / 4);
    std::uint32_t acc = 0;
    int bits = 0;
    for (const char c : text) {
        const int v = base64Value(c);
        if (v < 0) return std::nullopt;
        acc = (acc << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    // Leftover bits are the padding of the last character: fewer than 6, all zero.
    if (bits >= 6 || (acc & ((1u << bits) - 1)) != 0) return std::nullopt;
    return deserialize(bytes);
}

}  // namespace tarrow
