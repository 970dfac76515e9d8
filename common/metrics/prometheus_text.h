// The Prometheus text exposition format (version 0.0.4): metric families with their HELP
// and TYPE lines, samples with labels, and histograms drawn from the shared latency
// histogram. Plain C++.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/latency_histogram.h"

namespace tarrow::metrics {

using Labels = std::vector<std::pair<std::string_view, std::string_view>>;

// The upper bounds (microseconds) of the exported duration buckets: edges of the shared
// histogram, four to each power of two from 32 us to 2^26 us (67 s), so that every bucket
// of the shared histogram lies inside one exported bucket and histogram_quantile lands in
// the exported bucket that holds the report's percentile. 85 bounds, then +Inf.
const std::vector<std::int64_t>& durationBucketBoundsUs();

class PrometheusText {
public:
    // Starts a family: type is "counter", "gauge" or "histogram".
    void family(std::string_view name, std::string_view type, std::string_view help);
    void sample(std::string_view name, const Labels& labels, double value);
    void sample(std::string_view name, const Labels& labels, std::uint64_t value);
    // name_bucket{...,le}, name_sum and name_count of h, in seconds. A recorded value v us is
    // counted below a bound b when v < b: a time measured in whole microseconds is at
    // most b then.
    void histogram(std::string_view name, const Labels& labels, const LatencyHistogram& h);
    const std::string& text() const { return text_; }

private:
    void series(std::string_view name, const Labels& labels, std::string_view extraName = {},
                std::string_view extraValue = {});
    std::string text_;
};

// A number as the format writes it: whole numbers without a fraction, others with up to
// six decimals ("0.000032", "67.108864").
std::string numberText(double value);

}  // namespace tarrow::metrics
