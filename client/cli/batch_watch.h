// A batch run watched live (TarrowCli --batch with --web or --monitor): the directory's
// counters read on a thread of their own from before the first login to after the last,
// and the live page with /metrics fed once a second. Every login is passed on to the
// report when there is one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "client/report/batch_report.h"
#include "client/ui/batch_observer.h"
#include "common/load/load_schedule.h"
#include "common/monitor/monitor_sampler.h"
#include "common/web/live_view.h"

namespace tarrow::cli {

class BatchWatch : public BatchObserver {
public:
    // report, sampler and live may each be null; monotonicUs is the run's clock.
    BatchWatch(BatchReport* report, std::unique_ptr<monitor::MonitorSampler> sampler,
               std::unique_ptr<web::LiveView> live, std::function<std::int64_t()> monotonicUs);

    // A paced run: /metrics also has its schedule figures, and the target rate of the
    // moment for an open loop. Before the run starts.
    void setLoadPlan(const load::LoadPlan& plan) { plan_ = plan; }

    void onRunStart(std::int64_t startUs) override;
    void onLogin(const BatchLogin& login) override;
    void onRejectedLine() override;
    void onRunEnd(std::int64_t endUs, bool interrupted) override;

    // The directory's readings so far; null without --monitor.
    const monitor::MonitorSampler* sampler() const { return sampler_.get(); }

private:
    void publish();

    BatchReport* report_;
    std::unique_ptr<monitor::MonitorSampler> sampler_;
    std::unique_ptr<web::LiveView> live_;
    std::function<std::int64_t()> monotonicUs_;
    std::int64_t publishedUs_ = 0;
    bool started_ = false;
    std::uint64_t successful_ = 0;
    std::uint64_t failed_ = 0;
    std::uint64_t errors_ = 0;
    LoginLatencies latencies_;  // execute: from when each login was due to its end
    std::optional<load::LoadPlan> plan_;
    std::optional<load::LoadSchedule> schedule_;  // the plan's, for its target rate
    LatencyHistogram service_;
    LatencyHistogram scheduleLag_;
    std::uint64_t due_ = 0;
    std::uint64_t loginsStarted_ = 0;
};

}  // namespace tarrow::cli
