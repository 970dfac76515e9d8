// The clients' own measurements, merged: login latency (the whole execute), each phase and
// the lag of the event timer, over the run and per client. Each reply costs a few histogram
// records; memory is fixed per client.
#pragma once

#include "common/latency_histogram.h"
#include "report/model/run_report.h"
#include "common/timings_extension.h"

#include <cstdint>

namespace tarrow::ctrl {

// What the controller knows of a client's timings.
enum class TimingsSupport {
    NotAsked,   // --no-timings: the request was never sent
    Asked,      // the request was sent and not accepted (a client that does not know it)
    Reporting,  // the client accepted and sends a record with every reply
};
const char* timingsSupportText(TimingsSupport support);  // "not asked", "no", "yes"

struct LoginTimingStats {
    std::uint64_t timedReplies = 0;  // replies that came with a record
    LoginLatencies latencies;        // whole login and each phase it reached, us
    LatencyHistogram lagUs;          // event timer due to login start, us

    void add(const timings::LoginTimings& t);
};

// Per client: its login latency and lag, without the phases, to keep the entry small.
struct ClientTimingStats {
    LatencyHistogram executeUs;
    std::uint64_t lagCount = 0;
    std::int64_t lagSumUs = 0;
    std::int64_t lagMaxUs = 0;

    void add(const timings::LoginTimings& t);
    double lagMeanUs() const {
        return lagCount ? static_cast<double>(lagSumUs) / static_cast<double>(lagCount) : 0.0;
    }
};

}  // namespace tarrow::ctrl
