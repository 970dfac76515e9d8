// The machine-readable report of a batch run (TarrowCli --batch --report DIR):
// DIR/logins.csv, one row per login as the run goes, and DIR/report.json at its end.
// Keys and units: docs/report.md.
#pragma once

#include "client/ui/batch_observer.h"
#include "common/host_counters.h"
#include "common/report_text.h"
#include "common/run_report.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace tarrow {

// A report folder or file that cannot be written; what() names it and says why.
class ReportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class BatchReport : public BatchObserver {
public:
    struct Options {
        std::filesystem::path dir;
        std::string usersFile;  // shown in the report
        // UTC now in ms, read once when the run starts; the times of the logins follow
        // from the monotonic clock of the run.
        std::function<std::int64_t()> wallMs;
        std::filesystem::path procNet = "/proc/net";
    };

    // Creates the folder when missing, and both files in it. Throws ReportError when
    // either cannot be written, so that a run can refuse to start.
    explicit BatchReport(Options options);
    ~BatchReport() override;
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    void onRunStart(std::int64_t startUs) override;
    void onLogin(const BatchLogin& login) override;
    void onRejectedLine() override;
    void onRunEnd(std::int64_t endUs, bool interrupted) override;

    // Writes report.json and closes both files (when the run ended without onRunEnd, as
    // of the last login). Throws ReportError when a file could not be written whole.
    void finish();

    // A paced run's "load" section (common/load/load_json.h), written into report.json.
    void setLoad(nlohmann::ordered_json load) { load_ = std::move(load); }

    // The report.json finish() writes.
    std::string reportJson() const;

private:
    struct Files;
    void writeRows();  // the rows gathered so far to the file, flushed

    Options options_;
    std::unique_ptr<Files> files_;
    std::string row_;  // CSV rows not yet written
    UtcFormatter utc_;
    std::int64_t startUs_ = 0;
    std::int64_t endUs_ = 0;
    std::int64_t startWallMs_ = 0;
    std::int64_t flushedSecond_ = 0;
    bool started_ = false;
    bool interrupted_ = false;
    HostCounters hostAtStart_;
    std::optional<HostCounters> hostAtEnd_;

    std::uint64_t performed_ = 0;
    std::uint64_t successful_ = 0;
    std::uint64_t failed_ = 0;
    std::uint64_t errors_ = 0;
    std::uint64_t rejectedLines_ = 0;
    LoginLatencies latencies_;      // execute is each login's latency: from due to end
    LatencyHistogram service_;      // from start to end
    LatencyHistogram scheduleLag_;  // from due to start
    nlohmann::ordered_json load_;   // null unless a paced run
    std::optional<IntervalSeries> intervals_;
    MessageCounts messages_;
};

}  // namespace tarrow
