#include "client/cli/batch_watch.h"

#include "common/metrics/run_metrics.h"

namespace tarrow::cli {

namespace {
constexpr std::int64_t kPublishEveryUs = 1'000'000;
}

BatchWatch::BatchWatch(BatchReport* report, std::unique_ptr<monitor::MonitorSampler> sampler,
                       std::unique_ptr<web::LiveView> live, std::function<std::int64_t()> monotonicUs)
    : report_(report),
      sampler_(std::move(sampler)),
      live_(std::move(live)),
      monotonicUs_(std::move(monotonicUs)) {}

void BatchWatch::onRunStart(std::int64_t startUs) {
    started_ = true;
    if (plan_) schedule_.emplace(*plan_, startUs);
    // The first reading is taken before the first login.
    if (sampler_) sampler_->start(startUs);
    if (report_) report_->onRunStart(startUs);
    publishedUs_ = startUs;
    publish();
}

void BatchWatch::onLogin(const BatchLogin& login) {
    if (!started_) onRunStart(login.startUs);
    if (report_) report_->onLogin(login);
    switch (login.outcome) {
    case LoginOutcome::Success: ++successful_; break;
    case LoginOutcome::Failed: ++failed_; break;
    case LoginOutcome::Error: ++errors_; break;
    }
    // As the report times it: a login of a paced run waits from when it was due.
    latencies_.record(login.endUs - login.due(), login.phases);
    if (plan_) {
        service_.record(login.endUs - login.startUs);
        scheduleLag_.record(login.startUs - login.due());
        ++due_;
        ++loginsStarted_;
    }
    if (live_ && login.endUs - publishedUs_ >= kPublishEveryUs) {
        publishedUs_ = login.endUs;
        publish();
    }
}

void BatchWatch::onRejectedLine() {
    if (report_) report_->onRejectedLine();
}

void BatchWatch::onRunEnd(std::int64_t endUs, bool interrupted) {
    if (sampler_) sampler_->stop();
    if (report_) report_->onRunEnd(endUs, interrupted);
    publish();
}

void BatchWatch::publish() {
    if (!live_) return;
    if (report_) live_->publish(report_->reportJson());
    std::optional<monitor::MonitorState> directory;
    if (sampler_) directory = sampler_->state();
    metrics::RunFigures figures;
    figures.successful = successful_;
    figures.failed = failed_;
    figures.errors = errors_;
    figures.latencies = &latencies_;
    figures.directory = directory ? &*directory : nullptr;
    metrics::ScheduleFigures schedule{&service_, &scheduleLag_, due_, loginsStarted_, std::nullopt};
    if (schedule_ && plan_->openLoop()) schedule.targetRate = schedule_->targetRateAt(monotonicUs_());
    if (plan_) figures.schedule = &schedule;
    live_->publishMetrics(metrics::runMetricsText(figures));
}

}  // namespace tarrow::cli
