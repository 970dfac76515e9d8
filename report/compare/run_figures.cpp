#include "report/compare/run_figures.h"

#include <fstream>

#include "common/latency_histogram.h"
#include <nlohmann/json.hpp>

namespace tarrow::compare {

using tarrow::LatencyHistogram;
namespace {

using nlohmann::json;

// The run's histogram of a measure, when the report carries it, gives every order statistic.
void attachHistogram(Distribution& d, const json& report, const std::string& measure) {
    const auto histograms = report.find("histograms");
    if (histograms == report.end() || !histograms->is_object()) return;
    const auto text = histograms->find(measure);
    if (text == histograms->end() || !text->is_string()) return;
    const auto histogram = LatencyHistogram::deserializeText(text->get<std::string>());
    if (!histogram || histogram->count() != d.count || d.count == 0) return;
    d.valueAtRankUs = [h = *histogram](std::uint64_t rank) {
        return static_cast<double>(h.percentile(static_cast<double>(rank + 1) / static_cast<double>(h.count())));
    };
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

}  // namespace

std::optional<RunFigures> readRunFigures(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    const json report = json::parse(in, nullptr, false);
    if (report.is_discarded() || !report.is_object()) {
        error = path + ": not a JSON report";
        return std::nullopt;
    }
    const auto latency = report.find("latency_us");
    if (latency == report.end() || !latency->is_object()) {
        error = path + ": not a Tarrow report: no \"latency_us\"";
        return std::nullopt;
    }
    try {
        RunFigures run;
        run.path = path;
        run.measures["latency"] = readDistribution(*latency);
        // From a login's start to its end; the same as latency in a run without a rate.
        if (const auto service = report.find("service_us"); service != report.end() && service->is_object())
            run.measures["service"] = readDistribution(*service);
        if (const auto phases = report.find("phases_us"); phases != report.end() && phases->is_object())
            for (const auto& [name, figures] : phases->items())
                if (figures.is_object() && figures.value("count", 0) > 0)
                    run.measures[name] = readDistribution(figures);
        for (auto& [name, distribution] : run.measures) attachHistogram(distribution, report, name);
        run.loginsPerSecond = report.value("logins_per_s", 0.0);
        if (const auto intervals = report.find("intervals"); intervals != report.end() && intervals->is_array())
            for (const json& second : *intervals)
                run.loginsPerInterval.push_back(second.value("logins", 0.0));
        // The last second is cut short by the end of the run: its count is no rate.
        if (!run.loginsPerInterval.empty()) run.loginsPerInterval.pop_back();
        return run;
    } catch (const json::exception& e) {
        error = path + ": not a Tarrow report: " + e.what();
        return std::nullopt;
    }
}

}  // namespace tarrow::compare
