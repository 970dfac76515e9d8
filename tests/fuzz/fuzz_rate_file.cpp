// The rate file: any text gives either steps within their bounds or one fault naming the file,
// and the arrivals of any curve it gives are due in order within the curve.
#include "common/load/arrivals.h"
#include "common/load/rate_curve.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow::load;
    const auto parsed = parseRateFile(tarrow::fuzz::asText(data, size), "curve.txt");
    if (parsed.error.empty() == parsed.steps.empty()) std::abort();
    if (!parsed.error.empty() && parsed.error.rfind("curve.txt:", 0) != 0) std::abort();
    double seconds = 0;
    for (const RateStep& s : parsed.steps) {
        if (!(s.perSecond >= 0 && s.perSecond <= kMaxRate && s.seconds > 0 && s.seconds <= kMaxStepSeconds))
            std::abort();
        seconds += s.seconds;
    }
    if (parsed.steps.empty()) return 0;
    // A few hundred arrivals of each kind: in order, never before 0 or after the curve.
    for (ArrivalKind kind : {ArrivalKind::Even, ArrivalKind::Poisson}) {
        Arrivals arrivals(parsed.steps, kind, size);
        std::int64_t last = 0;
        for (int i = 0; i < 300; ++i) {
            const auto due = arrivals.next();
            if (!due) break;
            if (*due < last || *due > static_cast<std::int64_t>(seconds * 1e6) + 1) std::abort();
            last = *due;
        }
    }
    return 0;
}
