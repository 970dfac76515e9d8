// The figures of one run that a comparison needs, read from its report.json.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

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
    // Every key of the report as a path (reportKeyPaths), to tell which figures only one of
    // two runs has (a controlled run has more than a batch run).
    std::set<std::string> keys;
};

// The keys of a report as paths: "logins.performed", "intervals[].p50_us" (the keys of every
// element of an array of objects), "errors_by_message" and "settings" without their free-form
// keys.
std::set<std::string> reportKeyPaths(const nlohmann::json& report);

// Reads path; returns nothing and sets error ("A.json: not a Tarrow report: ...") when the file
// cannot be read, lacks the report's keys, or holds a histogram that does not decode (a figure
// present but broken is an error, never a missing figure). Reads formats 1 and 2.
std::optional<RunFigures> readRunFigures(const std::string& path, std::string& error);
// The same from the text of a report; name stands for the file in error texts.
std::optional<RunFigures> readRunFiguresText(std::string_view text, const std::string& name,
                                             std::string& error);

}  // namespace tarrow::compare
