#include "client/report/batch_report.h"

#include "common/monitor/monitor_sampler.h"

namespace tarrow {

BatchReport::BatchReport(Options options)
    : options_(std::move(options)),
      folder_((options_.wallMs ? options_.dir : throw ReportError("report: no wall clock")), 0) {
    report_.program = "TarrowCli --batch";
    report_.usersFile = options_.usersFile;
    report_.settings = directorySettings();
    report_.settings.insert(report_.settings.begin(), {"users_file", options_.usersFile});
    report_.latencies = &latencies_;
    report_.intervals = &intervals_;
    report_.messages = &messages_;
}

void BatchReport::onRunStart(std::int64_t startUs) {
    startUs_ = endUs_ = startUs;
    report_.startWallMs = options_.wallMs();
    report_.hostStart = readHostCounters(options_.procNet);
    started_ = true;
}

void BatchReport::onLogin(const BatchLogin& login) {
    if (!started_) onRunStart(login.startUs);
    const std::int64_t totalUs = login.endUs - login.startUs;
    // A login of a paced run waits from when it was due; of a plain run, it was due at its start.
    const std::int64_t latencyUs = login.endUs - login.due();
    LoginCounts& n = report_.logins;
    ++n.performed;
    switch (login.outcome) {
    case LoginOutcome::Success: ++n.successful; break;
    case LoginOutcome::Failed: ++n.failed; break;
    case LoginOutcome::Error:
        ++n.errors;
        messages_.add(login.message);
        break;
    }
    const std::int64_t sinceStartUs = login.endUs - startUs_;
    latencies_.record(latencyUs, login.phases);
    service_.record(totalUs);
    scheduleLag_.record(login.startUs - login.due());
    intervals_.record(sinceStartUs, login.outcome, latencyUs);
    endUs_ = login.endUs;

    LoginRow row;
    row.wallMs = report_.startWallMs + sinceStartUs / 1000;
    row.user = login.user;
    row.outcome = loginOutcomeText(login.outcome);
    if (login.outcome != LoginOutcome::Error) row.code = login.code;
    row.message = login.message;
    row.executeUs = totalUs;
    row.phases = login.phases;
    folder_.addRow(row, sinceStartUs);
}

void BatchReport::onRejectedLine() { ++report_.logins.rejectedLines; }

void BatchReport::onRunEnd(std::int64_t endUs, bool interrupted) {
    if (!started_) onRunStart(endUs);
    endUs_ = endUs;
    report_.interrupted = interrupted;
    report_.hostEnd = readHostCounters(options_.procNet);
}

void BatchReport::setLoad(nlohmann::ordered_json load) {
    load_ = std::move(load);
    report_.paced = PacedFigures{&service_, &scheduleLag_, &load_};
}

void BatchReport::setCapacity(nlohmann::ordered_json capacity) {
    capacity_ = std::move(capacity);
    if (!report_.paced) report_.paced = PacedFigures{&service_, &scheduleLag_, nullptr};
    report_.capacity = &capacity_;
}

std::string BatchReport::reportJson() const {
    RunReport r = report_;
    IntervalSeries series = intervals_;
    series.finish(endUs_ - startUs_);
    r.intervals = &series;
    r.elapsedUs = endUs_ - startUs_;
    if (!r.hostEnd) r.hostEnd = readHostCounters(options_.procNet);
    std::optional<monitor::MonitorState> directory;
    if (options_.directory) directory = options_.directory->state();
    r.directory = directory ? &*directory : nullptr;
    return tarrow::reportJson(r);
}

void BatchReport::finish() {
    if (!started_) onRunStart(0);
    if (!report_.hostEnd) report_.hostEnd = readHostCounters(options_.procNet);
    folder_.finish(reportJson());
}

}  // namespace tarrow
