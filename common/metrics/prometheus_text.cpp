#include "common/metrics/prometheus_text.h"

#include <cmath>
#include <cstdio>

namespace tarrow::metrics {
namespace {

constexpr int kFirstExponent = 5;  // 32 us
constexpr int kLastExponent = 26;  // 2^26 us, about 67 s
constexpr int kStepsPerPower = 4;

void appendEscaped(std::string& out, std::string_view value) {
    for (const char c : value) {
        if (c == '\\') out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

std::string secondsText(std::int64_t us) { return numberText(static_cast<double>(us) / 1e6); }

}  // namespace

const std::vector<std::int64_t>& durationBucketBoundsUs() {
    static const std::vector<std::int64_t> bounds = [] {
        std::vector<std::int64_t> b;
        for (int e = kFirstExponent; e < kLastExponent; ++e)
            for (int k = 0; k < kStepsPerPower; ++k)
                b.push_back((std::int64_t{1} << e) + k * ((std::int64_t{1} << e) / kStepsPerPower));
        b.push_back(std::int64_t{1} << kLastExponent);
        return b;
    }();
    return bounds;
}

std::string numberText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        char whole[32];
        std::snprintf(whole, sizeof whole, "%.0f", value);
        return whole;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", value);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

void PrometheusText::family(std::string_view name, std::string_view type, std::string_view help) {
    text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void PrometheusText::series(std::string_view name, const Labels& labels, std::string_view extraName,
                            std::string_view extraValue) {
    text_.append(name);
    if (labels.empty() && extraName.empty()) {
        text_ += ' ';
        return;
    }
    text_ += '{';
    bool first = true;
    const auto label = [&](std::string_view key, std::string_view value) {
        if (!first) text_ += ',';
        first = false;
        text_.append(key).append("=\"");
        appendEscaped(text_, value);
        text_ += '"';
    };
    for (const auto& [key, value] : labels) label(key, value);
    if (!extraName.empty()) label(extraName, extraValue);
    text_.append("} ");
}

void PrometheusText::sample(std::string_view name, const Labels& labels, double value) {
    series(name, labels);
    text_.append(numberText(value)).append("\n");
}

void PrometheusText::sample(std::string_view name, const Labels& labels, std::uint64_t value) {
    series(name, labels);
    text_.append(std::to_string(value)).append("\n");
}

void PrometheusText::histogram(std::string_view name, const Labels& labels, const LatencyHistogram& h) {
    const std::string bucket = std::string(name) + "_bucket";
    std::uint64_t below = 0;
    std::size_t index = 0;
    for (const std::int64_t bound : durationBucketBoundsUs()) {
        // Every shared bucket that ends below the bound (the bounds are shared edges).
        while (index < LatencyHistogram::kBucketCount && LatencyHistogram::bucketHigh(index) < bound)
            below += h.bucketCount(index++);
        series(bucket, labels, "le", secondsText(bound));
        text_.append(std::to_string(below)).append("\n");
    }
    series(bucket, labels, "le", "+Inf");
    text_.append(std::to_string(h.count())).append("\n");
    series(std::string(name) + "_sum", labels);
    text_.append(numberText(static_cast<double>(h.sum()) / 1e6)).append("\n");
    series(std::string(name) + "_count", labels);
    text_.append(std::to_string(h.count())).append("\n");
}

}  // namespace tarrow::metrics
