// The directory's own counters over a run: a reading a second, taken on a thread of its
// own so that no login ever waits for it. Plain C++; the reading itself comes from a
// MonitorSource (the LDAP reader in production, doubles in tests).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "qds/monitor/directory_monitor.h"

namespace tarrow::monitor {

class MonitorSource {
public:
    virtual ~MonitorSource() = default;
    // One reading; false with the reason in error when it failed. Bounded in time.
    virtual bool read(DirmonSample& sample, std::string& error) = 0;
    // The binds the source itself has sent so far (the server counts them too).
    virtual std::uint64_t ownBinds() const = 0;
};

struct MonitorReading {
    std::int64_t tick = 0;       // the reading's place: tick k is taken k periods after the origin
    std::int64_t atUs = 0;       // when it was taken, since the origin
    std::uint64_t ownBinds = 0;  // the source's own binds up to it
    DirmonSample sample{};
};

// What the sampler has so far; copied out under its lock.
struct MonitorState {
    std::string uri;
    std::string unavailable;  // why there are no readings; empty once one came
    int dialect = DIRMON_NONE;
    std::vector<MonitorReading> readings;  // in order; the first kMaxReadings
    std::optional<MonitorReading> last;    // the latest, also past kMaxReadings
    std::uint64_t failedReadings = 0;
    bool latestGood = false;  // the latest reading succeeded

    // Completed binds (operations, for DIRMON_OPS_ENTRY) from the first reading to the
    // last, less the monitor's own; nothing without two readings.
    std::optional<std::int64_t> completedByOthers() const;
    std::uint64_t ownBindsOverRun() const;
};

// "cn=Monitor counters" / "cn=monitor entry": the dialect as the reports name it.
const char* dialectText(int dialect);

class MonitorSampler {
public:
    static constexpr std::size_t kMaxReadings = 2 * 86400;  // two days of seconds

    // monotonicUs: the clock the run's seconds are counted on; warn: one line per
    // change from readings to none (the first failure, or a server without monitor).
    MonitorSampler(std::string uri, std::unique_ptr<MonitorSource> source,
                   std::function<std::int64_t()> monotonicUs, std::function<void(const std::string&)> warn,
                   std::int64_t periodUs = 1'000'000);
    ~MonitorSampler();
    MonitorSampler(const MonitorSampler&) = delete;
    MonitorSampler& operator=(const MonitorSampler&) = delete;

    // Starts the thread with originUs as second 0 of the run, and waits until its first
    // reading is done (bounded by the source's time-outs), so that a run started after it
    // is counted whole.
    void start(std::int64_t originUs);
    // Takes a last reading that closes the run's last second, and ends the thread.
    void stop();
    MonitorState state() const;

private:
    void run();
    void readOnce(std::int64_t tick);

    std::unique_ptr<MonitorSource> source_;
    std::function<std::int64_t()> monotonicUs_;
    std::function<void(const std::string&)> warn_;
    std::int64_t periodUs_;
    std::int64_t originUs_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;   // guarded by mutex_
    bool firstDone_ = false;  // guarded by mutex_
    bool warned_ = false;     // only touched by the sampling thread
    MonitorState state_;      // guarded by mutex_
};

}  // namespace tarrow::monitor
