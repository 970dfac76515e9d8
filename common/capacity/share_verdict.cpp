#include "common/capacity/share_verdict.h"

#include <algorithm>
#include <cmath>

namespace tarrow::capacity {
namespace {

// Continued fraction of the incomplete beta function (modified Lentz).
double betaFraction(double a, double b, double x) {
    constexpr double kTiny = 1e-300;
    constexpr double kEpsilon = 1e-14;
    double c = 1;
    double d = 1 - (a + b) * x / (a + 1);
    if (std::fabs(d) < kTiny) d = kTiny;
    d = 1 / d;
    double h = d;
    for (int m = 1; m <= 10000; ++m) {
        const double m2 = 2.0 * m;
        double aa = m * (b - m) * x / ((a + m2 - 1) * (a + m2));
        d = 1 + aa * d;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = 1 + aa / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1 / d;
        h *= d * c;
        aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1));
        d = 1 + aa * d;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = 1 + aa / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1) < kEpsilon) break;
    }
    return h;
}

// The regularized incomplete beta function I_x(a, b), a, b > 0.
double incompleteBeta(double a, double b, double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    const double front = std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) +
                                  b * std::log1p(-x));
    // The fraction converges fast on the side of the mean.
    if (x < (a + 1) / (a + b + 2)) return front * betaFraction(a, b, x) / a;
    return 1 - front * betaFraction(b, a, 1 - x) / b;
}

// z with P(Z <= z) = p for a standard normal Z, by bisection on erfc.
double normalQuantile(double p) {
    double low = -40, high = 40;
    for (int i = 0; i < 200; ++i) {
        const double mid = (low + high) / 2;
        (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? low : high) = mid;
    }
    return (low + high) / 2;
}

}  // namespace

const char* verdictName(Verdict v) {
    switch (v) {
    case Verdict::Met: return "met";
    case Verdict::Failed: return "failed";
    case Verdict::Undecided: break;
    }
    return "undecided";
}

double binomialAtMost(std::uint64_t k, std::uint64_t n, double p) {
    if (k >= n || p <= 0) return 1;
    if (p >= 1) return 0;
    return incompleteBeta(static_cast<double>(n - k), static_cast<double>(k) + 1, 1 - p);
}

double binomialAtLeast(std::uint64_t k, std::uint64_t n, double p) {
    if (k == 0) return 1;
    if (k > n) return 0;
    return 1 - binomialAtMost(k - 1, n, p);
}

Verdict shareVerdict(std::uint64_t over, std::uint64_t n, double allowed, double confidence) {
    if (n == 0) return Verdict::Undecided;
    const double alpha = 1 - confidence;
    if (binomialAtMost(over, n, allowed) <= alpha) return Verdict::Met;
    if (binomialAtLeast(over, n, allowed) <= alpha) return Verdict::Failed;
    return Verdict::Undecided;
}

std::uint64_t countOver(const LatencyHistogram& h, std::int64_t boundUs) {
    if (h.count() == 0 || h.max() <= boundUs) return 0;
    std::uint64_t over = 0;
    for (std::size_t b = LatencyHistogram::bucketOf(boundUs); b < LatencyHistogram::kBucketCount; ++b)
        if (LatencyHistogram::bucketHigh(b) > boundUs) over += h.bucketCount(b);
    return over;
}

PercentileInterval percentileInterval(const LatencyHistogram& h, double q, double confidence) {
    PercentileInterval r;
    if (h.count() == 0) return r;
    const double n = static_cast<double>(h.count());
    const double z = normalQuantile(1 - (1 - confidence) / 2);
    const double spread = z * std::sqrt(n * q * (1 - q));
    // Ranks 1..n as shares of n for percentile(); beyond either end the interval is open
    // there, shown as the smallest or largest value.
    const double lowRank = std::floor(n * q - spread);
    const double highRank = std::ceil(n * q + spread) + 1;
    r.valueUs = h.percentile(q);
    r.lowUs = lowRank < 1 ? h.min() : h.percentile(std::clamp(lowRank / n, 0.0, 1.0));
    r.highUs = highRank > n ? h.max() : h.percentile(std::clamp(highRank / n, 0.0, 1.0));
    return r;
}

}  // namespace tarrow::capacity
