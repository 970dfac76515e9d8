// One row per second of a run: what was answered in that second, the login latency's p50 and
// p99 in it, and how many clients were connected. Replies arrive in time order, so only the
// current second holds a histogram; a finished second keeps a few figures. The table is
// capped, so that memory stays bounded however long the run.
#pragma once

#include "common/latency_histogram.h"
#include "controller/core/reply_packet.h"

#include <cstdint>
#include <vector>

namespace tarrow::ctrl {

struct IntervalRow {
    std::uint32_t logins = 0;         // replies completed in this second
    std::uint32_t successful = 0;     // ... of them "R1" (subset of logins)
    std::uint32_t failed = 0;         // ... of them another code (subset of logins)
    std::uint32_t errors = 0;         // ... of them an error text (subset of logins)
    std::uint32_t indeterminate = 0;  // leases that ended without a reply in this second
    std::uint32_t timed = 0;          // replies that came with timings (subset of logins)
    std::int64_t p50Us = -1;          // login latency of the timed replies; -1 without any
    std::int64_t p90Us = -1;
    std::int64_t p99Us = -1;
    std::int64_t maxUs = -1;
    std::uint32_t clients = 0;  // clients connected at the end of the second
};

class IntervalTable {
public:
    static constexpr std::size_t kMaxSeconds = 86'400;

    // Times are microseconds since the run's start and never go back. loginUs is -1 for a
    // reply without timings.
    void reply(std::int64_t atUs, ReplyKind kind, std::int64_t loginUs);
    void indeterminate(std::int64_t atUs);
    void clients(std::int64_t atUs, std::size_t connected);
    // Closes every second up to endUs (the last, partial one included).
    void finish(std::int64_t endUs);

    const std::vector<IntervalRow>& rows() const { return rows_; }
    // Seconds beyond kMaxSeconds, not listed.
    std::uint64_t secondsOmitted() const { return omitted_; }

private:
    IntervalRow& at(std::int64_t atUs);
    void close();

    std::vector<IntervalRow> rows_;  // finished seconds, from the run's first
    IntervalRow current_;
    std::size_t currentSecond_ = 0;
    tarrow::LatencyHistogram currentLogins_;
    std::uint32_t connected_ = 0;
    std::uint64_t omitted_ = 0;
    bool finished_ = false;
};

}  // namespace tarrow::ctrl
