// The figures of one run that a comparison needs, read from its report.json.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarrow::compare {

// The latency distribution of one measure (the whole login, or one phase) over a run.
struct Distribution {
    std::uint64_t count = 0;
    // Point figures as the report gives them, in microseconds; keyed "p50", "p90", "p99", "p999".
    std::map<std::string, double> percentilesUs;
    // The value of the sample of rank k (0-based, ascending) when the report carries the
    // run's histogram; without it no confidence interval can be given.
    std::function<double(std::uint64_t)> valueAtRankUs;
};

struct RunFigures {
    std::string path;
    // "latency" for the whole login (from when it was due), "service" (from its start) when the
    // report has it, then the phases that the run measured.
    std::map<std::string, Distribution> measures;
    double loginsPerSecond = 0;
    // Logins of every whole second of the run (the last, partial one left out), for the
    // confidence interval of the rate.
    std::vector<double> loginsPerInterval;
};

// Reads path; returns nothing and sets error ("A.json: not a Tarrow report: ...") when the file
// cannot be read or lacks the report's keys.
std::optional<RunFigures> readRunFigures(const std::string& path, std::string& error);

}  // namespace tarrow::compare
