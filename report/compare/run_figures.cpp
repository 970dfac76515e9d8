#include "report/compare/run_figures.h"

#include <fstream>
#include <sstream>

#include "common/latency_histogram.h"
#include <nlohmann/json.hpp>

namespace tarrow::compare {

using tarrow::LatencyHistogram;
namespace {

using nlohmann::json;

// The newest format this reader knows; 1 and 2 differ in no key it reads.
constexpr int kNewestFormat = 2;

const std::map<std::string, double> kQuantiles = {{"p50", 0.50}, {"p90", 0.90}, {"p99", 0.99}, {"p999", 0.999}};

// The run's histogram of a measure, when the report carries it, gives every order statistic.
// A report without histograms (older files) gives none; one that has them broken is refused.
bool attachHistogram(Distribution& d, const json& report, const std::string& measure, std::string& error) {
    const auto histograms = report.find("histograms");
    if (histograms == report.end()) return true;
    if (!histograms->is_object()) {
        error = "\"histograms\" is not an object";
        return false;
    }
    const auto text = histograms->find(measure);
    if (text == histograms->end()) return true;
    const auto histogram = text->is_string() ? LatencyHistogram::deserializeText(text->get<std::string>())
                                             : std::nullopt;
    if (!histogram) {
        error = "\"histograms." + measure + "\" does not decode";
        return false;
    }
    if (histogram->count() != d.count) {
        error = "\"histograms." + measure + "\" holds " + std::to_string(histogram->count()) +
                " values where the figures count " + std::to_string(d.count);
        return false;
    }
    // The figures beside it were read from this very histogram: a text changed since then
    // shows as a percentile that differs.
    for (const auto& [key, value] : d.percentilesUs) {
        const auto q = kQuantiles.find(key);
        if (q == kQuantiles.end()) continue;
        const auto fromHistogram = static_cast<double>(histogram->percentile(q->second));
        if (fromHistogram != value) {
            error = "\"histograms." + measure + "\" gives " + key + " " +
                    std::to_string(histogram->percentile(q->second)) + " where the figures say " +
                    nlohmann::json(value).dump();
            return false;
        }
    }
    if (d.count == 0) return true;
    d.valueAtRankUs = [h = *histogram](std::uint64_t rank) {
        return static_cast<double>(h.percentile(static_cast<double>(rank + 1) / static_cast<double>(h.count())));
    };
    return true;
}

Distribution readDistribution(const json& figures) {
    Distribution d;
    d.count = figures.value("count", std::uint64_t{0});
    for (const char* key : {"p50", "p90", "p99", "p999"}) {
        const auto it = figures.find(key);
        if (it != figures.end() && it->is_number()) d.percentilesUs[key] = it->get<double>();
    }
    return d;
}

void addKeyPaths(const json& node, const std::string& path, std::set<std::string>& keys) {
    if (!path.empty()) keys.insert(path);
    if (path == "errors_by_message" || path == "settings") return;
    if (node.is_object()) {
        for (const auto& [key, value] : node.items())
            addKeyPaths(value, path.empty() ? key : path + "." + key, keys);
    } else if (node.is_array()) {
        for (const json& element : node)
            if (element.is_object())
                for (const auto& [key, value] : element.items()) addKeyPaths(value, path + "[]." + key, keys);
    }
}

}  // namespace

std::set<std::string> reportKeyPaths(const json& report) {
    std::set<std::string> keys;
    addKeyPaths(report, "", keys);
    return keys;
}

std::optional<RunFigures> readRunFigures(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return readRunFiguresText(text.str(), path, error);
}

std::optional<RunFigures> readRunFiguresText(std::string_view text, const std::string& name,
                                             std::string& error) {
    const json report = json::parse(text, nullptr, false);
    if (report.is_discarded() || !report.is_object()) {
        error = name + ": not a JSON report";
        return std::nullopt;
    }
    const auto latency = report.find("latency_us");
    if (latency == report.end() || !latency->is_object()) {
        error = name + ": not a Tarrow report: no \"latency_us\"";
        return std::nullopt;
    }
    try {
        if (const auto format = report.find("format"); format != report.end()) {
            if (!format->is_number_integer() || format->get<std::int64_t>() < 1 ||
                format->get<std::int64_t>() > kNewestFormat) {
                error = name + ": report format " + format->dump() + " is not one this tool reads (1 to " +
                        std::to_string(kNewestFormat) + ")";
                return std::nullopt;
            }
        }
        RunFigures run;
        run.path = name;
        run.measures["latency"] = readDistribution(*latency);
        // From a login's start to its end; the same as latency in a run without a rate.
        if (const auto service = report.find("service_us"); service != report.end() && service->is_object())
            run.measures["service"] = readDistribution(*service);
        if (const auto phases = report.find("phases_us"); phases != report.end() && phases->is_object())
            for (const auto& [measure, figures] : phases->items())
                if (figures.is_object() && figures.value("count", 0) > 0)
                    run.measures[measure] = readDistribution(figures);
        for (auto& [measure, distribution] : run.measures) {
            std::string why;
            if (!attachHistogram(distribution, report, measure, why)) {
                error = name + ": " + why;
                return std::nullopt;
            }
        }
        run.loginsPerSecond = report.value("logins_per_s", 0.0);
        if (const auto intervals = report.find("intervals"); intervals != report.end() && intervals->is_array())
            for (const json& second : *intervals)
                run.loginsPerInterval.push_back(second.is_object() ? second.value("logins", 0.0) : 0.0);
        // The last second is cut short by the end of the run: its count is no rate.
        if (!run.loginsPerInterval.empty()) run.loginsPerInterval.pop_back();
        run.keys = reportKeyPaths(report);
        return run;
    } catch (const json::exception& e) {
        error = name + ": not a Tarrow report: " + e.what();
        return std::nullopt;
    }
}

}  // namespace tarrow::compare
