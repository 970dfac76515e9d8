// The report of a batch run (TarrowCli --batch --report DIR): watches the run through the
// batch run's observer and hands what it sees to the report library (report/model): a row of
// DIR/logins.csv per login as the run goes, DIR/report.json and report.html at its end.
// Keys and units: docs/report.md.
#pragma once

#include "client/ui/batch_observer.h"
#include "common/host_counters.h"
#include "report/model/report_folder.h"
#include "report/model/report_writer.h"
#include "report/model/run_report.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace tarrow {
namespace monitor {
class MonitorSampler;
}

class BatchReport : public BatchObserver {
public:
    struct Options {
        std::filesystem::path dir;
        std::string usersFile;  // shown in the report
        // UTC now in ms, read once when the run starts; the times of the logins follow
        // from the monotonic clock of the run.
        std::function<std::int64_t()> wallMs;
        std::filesystem::path procNet = "/proc/net";
        // With --monitor: the directory's counters, read into the report's "directory"
        // section; must outlive the report.
        const monitor::MonitorSampler* directory = nullptr;
    };

    // Creates the folder when missing, and both files in it. Throws ReportError when
    // either cannot be written, so that a run can refuse to start.
    explicit BatchReport(Options options);

    void onRunStart(std::int64_t startUs) override;
    void onLogin(const BatchLogin& login) override;
    void onRejectedLine() override;
    void onRunEnd(std::int64_t endUs, bool interrupted) override;

    // Writes report.json and report.html and closes logins.csv (when the run ended without
    // onRunEnd, as of the last login). Throws ReportError when a file could not be written whole.
    void finish();

    // A paced run's "load" section (common/load/load_json.h): its report also has the
    // service time and schedule lag of every login.
    void setLoad(nlohmann::ordered_json load);
    // A capacity search's "capacity" section (common/capacity/capacity_json.h): its report,
    // over the logins of every step, also has their service time and schedule lag.
    void setCapacity(nlohmann::ordered_json capacity);

    // The report.json finish() writes.
    std::string reportJson() const;

private:
    Options options_;
    ReportFolder folder_;
    std::int64_t startUs_ = 0;
    std::int64_t endUs_ = 0;
    bool started_ = false;
    RunReport report_;
    LoginLatencies latencies_;         // execute is each login's latency: from due to end
    LatencyHistogram service_;         // from start to end
    LatencyHistogram scheduleLag_;     // from due to start
    nlohmann::ordered_json load_;      // null unless a paced run
    nlohmann::ordered_json capacity_;  // null unless a capacity search
    IntervalSeries intervals_;
    MessageCounts messages_;
};

}  // namespace tarrow
