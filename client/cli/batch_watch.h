// A batch run watched live (TarrowCli --batch with --web or --monitor): the directory's
// counters read on a thread of their own from before the first login to after the last,
// and the live page with /metrics fed once a second. Every login is passed on to the
// report when there is one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "client/report/batch_report.h"
#include "client/ui/batch_observer.h"
#include "common/monitor/monitor_sampler.h"
#include "common/web/live_view.h"

namespace tarrow::cli {

class BatchWatch : public BatchObserver {
public:
    // report, sampler and live may each be null; monotonicUs is the run's clock.
    BatchWatch(BatchReport* report, std::unique_ptr<monitor::MonitorSampler> sampler,
               std::unique_ptr<web::LiveView> live, std::function<std::int64_t()> monotonicUs);

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
    LoginLatencies latencies_;
};

}  // namespace tarrow::cli
