#include "report/compare/comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace tarrow::compare {
namespace {

struct NamedPercentile {
    const char* key;    // as in report.json
    const char* shown;  // as printed
    double q;
};
constexpr NamedPercentile kPercentiles[] = {
    {"p50", "p50", 0.50}, {"p90", "p90", 0.90}, {"p99", "p99", 0.99}, {"p999", "p99.9", 0.999}};

// Inverse of the standard normal distribution function (Acklam's rational approximation,
// relative error below 1.2e-9): the z of a two-sided level.
double normalQuantile(double p) {
    static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,  -2.759285104469687e+02,
                               1.383577518672690e+02,  -3.066479806614716e+01, 2.506628277459239e+00};
    static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                               6.680131188771972e+01, -1.328068155288572e+01};
    static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                               -2.549732539343734e+00, 4.374664141464968e+00,  2.938163982698783e+00};
    static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                               3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low) {
        const double q = std::sqrt(-2 * std::log(p));
        return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
    }
    if (p > 1 - low) return -normalQuantile(1 - p);
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

double zOfLevel(double level) { return normalQuantile(0.5 + level / 2); }

std::string signedFigure(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%+.1f", value);
    return text;
}

std::string percentChange(double a, double b) {
    if (a == 0) return b == 0 ? "0.0%" : "n/a";
    char text[48];
    std::snprintf(text, sizeof text, "%+.1f%%", 100 * (b - a) / a);
    return text;
}

}  // namespace

std::optional<Interval> quantileInterval(const Distribution& d, double q, double z) {
    if (d.count == 0 || !d.valueAtRankUs) return std::nullopt;
    const double n = static_cast<double>(d.count);
    const double spread = z * std::sqrt(n * q * (1 - q));
    const double last = n - 1;
    const auto lowRank = static_cast<std::uint64_t>(std::clamp(std::floor(n * q - spread), 0.0, last));
    const auto highRank = static_cast<std::uint64_t>(std::clamp(std::ceil(n * q + spread), 0.0, last));
    return Interval{d.valueAtRankUs(lowRank), d.valueAtRankUs(highRank)};
}

Interval differenceInterval(const Interval& a, const Interval& b) {
    return Interval{b.low - a.high, b.high - a.low};
}

std::optional<Interval> rateDifferenceInterval(const std::vector<double>& a, const std::vector<double>& b,
                                               double level, int resamples, std::uint64_t seed) {
    if (a.size() < 2 || b.size() < 2 || resamples < 2) return std::nullopt;
    std::mt19937_64 random(seed);
    const auto resampledMean = [&random](const std::vector<double>& seconds) {
        std::uniform_int_distribution<std::size_t> pick(0, seconds.size() - 1);
        double sum = 0;
        for (std::size_t i = 0; i < seconds.size(); ++i) sum += seconds[pick(random)];
        return sum / static_cast<double>(seconds.size());
    };
    std::vector<double> differences(static_cast<std::size_t>(resamples));
    for (double& difference : differences) difference = resampledMean(b) - resampledMean(a);
    std::sort(differences.begin(), differences.end());
    const double tail = (1 - level) / 2;
    const auto at = [&](double p) {
        const auto i = static_cast<std::size_t>(
            std::clamp(std::round(p * static_cast<double>(differences.size() - 1)), 0.0,
                       static_cast<double>(differences.size() - 1)));
        return differences[i];
    };
    return Interval{at(tail), at(1 - tail)};
}

bool Comparison::worse() const {
    return rateWorse || std::any_of(rows.begin(), rows.end(), [](const PercentileRow& r) { return r.worse; });
}

Comparison compareRuns(const RunFigures& a, const RunFigures& b, const CompareSettings& settings) {
    Comparison result;
    const double z = zOfLevel(settings.level);
    const double grow = 1 + settings.thresholdPercent / 100;
    // The whole login first, then the phases in the order a login runs them.
    std::vector<std::string> order{"latency", "service", "connect", "tls", "bind", "verify", "unbind"};
    for (const auto& entry : a.measures)
        if (std::find(order.begin(), order.end(), entry.first) == order.end()) order.push_back(entry.first);
    for (const std::string& measure : order) {
        const auto mine = a.measures.find(measure);
        const auto other = b.measures.find(measure);
        if (mine == a.measures.end()) continue;
        const Distribution& da = mine->second;
        if (other == b.measures.end()) continue;
        const Distribution& db = other->second;
        const bool gated = std::find(settings.gatedMeasures.begin(), settings.gatedMeasures.end(), measure) !=
                           settings.gatedMeasures.end();
        for (const NamedPercentile& p : kPercentiles) {
            const auto va = da.percentilesUs.find(p.key);
            const auto vb = db.percentilesUs.find(p.key);
            if (va == da.percentilesUs.end() || vb == db.percentilesUs.end()) continue;
            PercentileRow row{measure, p.shown, va->second, vb->second, std::nullopt, false};
            const auto ia = quantileInterval(da, p.q, z);
            const auto ib = quantileInterval(db, p.q, z);
            if (ia && ib) row.differenceUs = differenceInterval(*ia, *ib);
            const bool beyondThreshold = row.bUs > row.aUs * grow;
            const bool significant = !row.differenceUs || row.differenceUs->low > 0;
            row.worse = gated && beyondThreshold && significant;
            result.rows.push_back(row);
        }
    }
    result.aLoginsPerSecond = a.loginsPerSecond;
    result.bLoginsPerSecond = b.loginsPerSecond;
    result.rateDifference = rateDifferenceInterval(a.loginsPerInterval, b.loginsPerInterval, settings.level,
                                                   2000, 20261208);
    const bool slower = b.loginsPerSecond < a.loginsPerSecond * (1 - settings.thresholdPercent / 100);
    result.rateWorse = slower && (!result.rateDifference || result.rateDifference->high < 0);
    return result;
}

std::string formatComparison(const Comparison& c, const RunFigures& a, const RunFigures& b,
                             const CompareSettings& settings) {
    char line[256];
    const int level = static_cast<int>(std::lround(settings.level * 100));
    std::string out = "A: " + a.path + "\nB: " + b.path + "\n";
    std::snprintf(line, sizeof line, "%-9s %-6s %12s %12s %11s  %-27s %8s\n", "measure", "pct", "A (us)",
                  "B (us)", "B-A (us)", (std::to_string(level) + "% CI of B-A (us)").c_str(), "change");
    out += line;
    for (const PercentileRow& r : c.rows) {
        const std::string interval = r.differenceUs ? "[" + signedFigure(r.differenceUs->low) + ", " +
                                                          signedFigure(r.differenceUs->high) + "]"
                                                    : "n/a (no histogram)";
        std::snprintf(line, sizeof line, "%-9s %-6s %12.1f %12.1f %11s  %-27s %8s%s\n", r.measure.c_str(),
                      r.percentile.c_str(), r.aUs, r.bUs, signedFigure(r.bUs - r.aUs).c_str(),
                      interval.c_str(), percentChange(r.aUs, r.bUs).c_str(), r.worse ? "  worse" : "");
        out += line;
    }
    std::snprintf(line, sizeof line, "throughput: A %.1f logins/s, B %.1f logins/s, change %s",
                  c.aLoginsPerSecond, c.bLoginsPerSecond,
                  percentChange(c.aLoginsPerSecond, c.bLoginsPerSecond).c_str());
    out += line;
    if (c.rateDifference)
        out += " (" + std::to_string(level) + "% CI of B-A: [" + signedFigure(c.rateDifference->low) + ", " +
               signedFigure(c.rateDifference->high) + "] logins/s)";
    out += c.rateWorse ? "  worse\n" : "\n";
    // A batch run and a controlled run share their figures; those only one has are named
    // (the topmost key missing from the other), not compared.
    const auto onlyIn = [](const RunFigures& mine, const RunFigures& other) {
        std::string list;
        for (const std::string& key : mine.keys) {
            if (other.keys.count(key)) continue;
            const auto dot = key.find_last_of('.');
            std::string parent = dot == std::string::npos ? std::string() : key.substr(0, dot);
            if (parent.ends_with("[]")) parent.resize(parent.size() - 2);
            if (!parent.empty() && !other.keys.count(parent)) continue;
            list += (list.empty() ? "" : ", ") + key;
        }
        return list;
    };
    if (const std::string only = onlyIn(a, b); !only.empty())
        out += "only in A, not compared: " + only + "\n";
    if (const std::string only = onlyIn(b, a); !only.empty())
        out += "only in B, not compared: " + only + "\n";
    std::snprintf(line, sizeof line, "verdict: B is %sworse than A beyond %g%%\n", c.worse() ? "" : "not ",
                  settings.thresholdPercent);
    out += line;
    return out;
}

}  // namespace tarrow::compare
