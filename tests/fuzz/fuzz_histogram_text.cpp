// The latency histogram's text form (report.json's "histograms", read by tarrow-compare): any
// text either decodes to a histogram that holds together or is refused.
#include "common/latency_histogram.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tarrow::LatencyHistogram;
    const std::string_view text = tarrow::fuzz::asText(data, size);
    for (const auto& h : {LatencyHistogram::deserializeText(text), LatencyHistogram::deserialize(text)}) {
        if (!h) continue;
        // What decodes serialises again to a histogram equal to it, in both forms.
        if (LatencyHistogram::deserialize(h->serialize()) != *h) std::abort();
        if (LatencyHistogram::deserializeText(h->serializeText()) != *h) std::abort();
        std::uint64_t counted = 0;
        for (std::size_t i = 0; i < LatencyHistogram::kBucketCount; ++i) counted += h->bucketCount(i);
        if (counted != h->count()) std::abort();
        // Every percentile lies within the extremes, rising with the quantile.
        std::int64_t previous = h->count() ? h->min() : 0;
        for (const double q : {0.0, 0.001, 0.5, 0.9, 0.99, 0.999, 1.0}) {
            const std::int64_t v = h->percentile(q);
            if (h->count() && (v < h->min() || v > h->max() || v < previous)) std::abort();
            previous = v;
        }
    }
    return 0;
}
