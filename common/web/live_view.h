// The live view of a run (controlled or batch): a page on 127.0.0.1 that draws the run as it goes, fed
// by server-sent events. It serves from threads of its own, so that a page being open costs
// the run's loop one copy of a text per second and nothing else. /metrics serves
// the run's figures to Prometheus the same way (docs/metrics.md).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace tarrow::web {

class LiveView {
public:
    // Listens on 127.0.0.1:port (0: any free port). Throws std::runtime_error that says why
    // when it cannot.
    explicit LiveView(std::uint16_t port);
    // Ends every open event stream and stops serving.
    ~LiveView();
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    std::uint16_t port() const { return port_; }
    // The run so far, as report.json would hold it; every open page receives it. Thread-safe.
    void publish(std::string reportJson);
    // The run's metrics in the Prometheus text format, served at /metrics. Thread-safe.
    void publishMetrics(std::string metricsText);

private:
    // Waits up to waitMs for a report newer than seen; returns false when stopping.
    bool nextReport(std::uint64_t& seen, std::string& report, int waitMs);

    std::unique_ptr<httplib::Server> server_;
    std::uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string latest_;         // guarded by mutex_
    std::string metrics_;        // guarded by mutex_
    std::uint64_t version_ = 0;  // guarded by mutex_; counts publish() calls
    bool stopping_ = false;      // guarded by mutex_
};

}  // namespace tarrow::web
