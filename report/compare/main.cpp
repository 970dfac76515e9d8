// tarrow-compare: compares two runs' report.json and, as a pipeline gate, exits 1 when the
// second run is worse than the first beyond a threshold.
#include <CLI/CLI.hpp>
#include <iostream>

#include "report/compare/comparison.h"

int main(int argc, char** argv) {
    using namespace tarrow::compare;
    CLI::App app{
        "Compares two Tarrow runs: latency and phase percentiles with confidence intervals, "
        "and throughput.\nExit status: 0 when B is not worse than A beyond the threshold, "
        "1 when it is, 2 on bad input.",
        "tarrow-compare"};
    std::string pathA;
    std::string pathB;
    CompareSettings settings;
    app.add_option("A", pathA, "report.json of the reference run")->required();
    app.add_option("B", pathB, "report.json of the run under test")->required();
    app.add_option("--threshold", settings.thresholdPercent,
                   "percent by which B may be slower than A before it counts as worse")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1000.0));
    app.add_option("--level", settings.level, "confidence level of every interval")
        ->capture_default_str()
        ->check(CLI::Range(0.5, 0.999));
    app.add_option(
           "--gate", settings.gatedMeasures,
           "measures whose regression fails the gate: latency, service, connect, tls, bind, verify, unbind")
        ->capture_default_str()
        ->delimiter(',');
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }
    std::string error;
    const auto a = readRunFigures(pathA, error);
    const auto b = a ? readRunFigures(pathB, error) : std::nullopt;
    if (!a || !b) {
        std::cerr << "tarrow-compare: " << error << "\n";
        return 2;
    }
    const Comparison comparison = compareRuns(*a, *b, settings);
    std::cout << formatComparison(comparison, *a, *b, settings);
    if (!std::cout.flush()) {
        std::cerr << "tarrow-compare: writing standard output failed\n";
        return 2;
    }
    return comparison.worse() ? 1 : 0;
}
