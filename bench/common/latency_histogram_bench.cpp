// The shared latency histogram, each figure beside a reference measured in the same run:
//   1. records per second, beside storing every value in a vector (the exact alternative);
//   2. the percentiles against the exact ones of the same values (the error bound);
//   3. the merge of 1,000 histograms, beside a plain loop adding 1,000 arrays of the same
//      size (the least a merge can do), and the serialised size of one.
//   latency_histogram_bench [VALUES]   (default 20,000,000)
#include "common/latency_histogram.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using tarrow::LatencyHistogram;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Keeps the optimiser from dropping work whose result is not used.
template <typename T>
void keep(const T& value) {
    asm volatile("" : : "g"(&value) : "memory");
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 20'000'000;
    if (n <= 0) {
        std::fprintf(stderr, "usage: %s [VALUES>0]\n", argv[0]);
        return 2;
    }
    // Login-like latencies: about 0.5 ms with a long tail, 1 us to 10 minutes.
    std::mt19937_64 random(2026);
    std::lognormal_distribution<double> spread(std::log(500.0), 1.2);
    std::vector<std::int64_t> values(static_cast<std::size_t>(n));
    for (auto& v : values) v = std::clamp<std::int64_t>(std::llround(spread(random)), 1, 600'000'000);

    std::printf("latency histogram: %zu buckets, %zu bytes, error bound %.2f %%\n",
                LatencyHistogram::kBucketCount, sizeof(LatencyHistogram),
                LatencyHistogram::kMaxRelativeError * 100);

    // 1. Records per second; the best of three rounds each, alternated.
    double ours = 1e30, reference = 1e30;
    LatencyHistogram h;
    std::vector<std::int64_t> stored;
    for (int round = 0; round < 3; ++round) {
        h.clear();
        auto t0 = Clock::now();
        for (const std::int64_t v : values) h.record(v);
        keep(h);
        ours = std::min(ours, secondsSince(t0));
        stored.clear();
        stored.shrink_to_fit();
        t0 = Clock::now();
        for (const std::int64_t v : values) stored.push_back(v);
        keep(stored);
        reference = std::min(reference, secondsSince(t0));
    }
    std::printf("record            : %8.1f M values/s   (reference, push_back into a vector: %8.1f M/s)\n",
                static_cast<double>(n) / ours / 1e6, static_cast<double>(n) / reference / 1e6);

    // 2. Percentiles against the exact ones.
    auto t0 = Clock::now();
    std::sort(stored.begin(), stored.end());
    const double sortSeconds = secondsSince(t0);
    double worst = 0;
    for (double q : {0.5, 0.9, 0.99, 0.999, 0.9999}) {
        const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(stored.size())));
        const double exact = static_cast<double>(stored[rank - 1]);
        const double error = std::abs(static_cast<double>(h.percentile(q)) - exact) / exact;
        worst = std::max(worst, error);
        std::printf("  p%-7g histogram %9lld us   exact %9.0f us   error %.3f %%\n", q * 100,
                    static_cast<long long>(h.percentile(q)), exact, error * 100);
    }
    t0 = Clock::now();
    for (int i = 0; i < 1000; ++i) keep(h.percentile(0.99));
    const double percentileSeconds = secondsSince(t0) / 1000;
    std::printf(
        "  worst error %.3f %% (bound %.2f %%); one percentile %.1f us, the exact ones need a sort of %.3f "
        "s\n",
        worst * 100, LatencyHistogram::kMaxRelativeError * 100, percentileSeconds * 1e6, sortSeconds);

    // 3. Merge of 1,000 histograms, each holding a share of the values.
    constexpr int kParts = 1000;
    std::vector<LatencyHistogram> parts(kParts);
    for (std::size_t i = 0; i < values.size(); ++i) parts[i % kParts].record(values[i]);
    std::vector<std::array<std::uint64_t, LatencyHistogram::kBucketCount>> arrays(kParts);
    for (int p = 0; p < kParts; ++p)
        for (std::size_t b = 0; b < LatencyHistogram::kBucketCount; ++b)
            arrays[p][b] = parts[p].bucketCount(b);
    double mergeSeconds = 1e30, plainSeconds = 1e30;
    LatencyHistogram merged;
    for (int round = 0; round < 5; ++round) {
        merged.clear();
        t0 = Clock::now();
        for (const auto& part : parts) merged.merge(part);
        keep(merged);
        mergeSeconds = std::min(mergeSeconds, secondsSince(t0));
        std::array<std::uint64_t, LatencyHistogram::kBucketCount> sum{};
        t0 = Clock::now();
        for (const auto& a : arrays)
            for (std::size_t b = 0; b < sum.size(); ++b) sum[b] += a[b];
        keep(sum);
        plainSeconds = std::min(plainSeconds, secondsSince(t0));
    }
    std::printf("merge of %d      : %8.3f ms            (reference, adding %d plain arrays: %.3f ms)\n",
                kParts, mergeSeconds * 1e3, kParts, plainSeconds * 1e3);
    std::printf("  merged equals one histogram of every value: %s; serialised size %zu bytes (text %zu)\n",
                merged == h ? "yes" : "NO", merged.serialize().size(), merged.serializeText().size());
    return merged == h && worst <= 0.01 ? 0 : 1;
}
