// The report reader of tarrow-compare: any text is a report or an error that names it, and a
// report read compares with itself without a regression.
#include "report/compare/comparison.h"
#include "report/compare/run_figures.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow::compare;
    std::string error;
    const auto run = readRunFiguresText(tarrow::fuzz::asText(data, size), "fuzz.json", error);
    if (!run) {
        if (error.rfind("fuzz.json: ", 0) != 0) std::abort();
        return 0;
    }
    if (!run->measures.count("latency") || !run->keys.count("latency_us")) std::abort();
    for (const auto& [name, d] : run->measures)
        if (d.valueAtRankUs && d.count) (void)d.valueAtRankUs(d.count - 1);
    const Comparison c = compareRuns(*run, *run, CompareSettings{});
    if (c.worse()) std::abort();
    (void)formatComparison(c, *run, *run, CompareSettings{});
    return 0;
}
