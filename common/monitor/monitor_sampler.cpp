#include "common/monitor/monitor_sampler.h"

#include <chrono>

namespace tarrow::monitor {

const char* dialectText(int dialect) {
    switch (dialect) {
    case DIRMON_COUNTER_SUBTREE: return "cn=Monitor counters";
    case DIRMON_OPS_ENTRY: return "cn=monitor entry";
    default: return "none";
    }
}

std::optional<std::int64_t> MonitorState::completedByOthers() const {
    if (readings.empty() || !last || last->tick == readings.front().tick) return std::nullopt;
    const MonitorReading& first = readings.front();
    if (first.sample.completed < 0 || last->sample.completed < 0) return std::nullopt;
    return last->sample.completed - first.sample.completed -
           static_cast<std::int64_t>(last->ownBinds - first.ownBinds);
}

std::uint64_t MonitorState::ownBindsOverRun() const {
    return readings.empty() || !last ? 0 : last->ownBinds - readings.front().ownBinds;
}

MonitorSampler::MonitorSampler(std::string uri, std::unique_ptr<MonitorSource> source,
                               std::function<std::int64_t()> monotonicUs,
                               std::function<void(const std::string&)> warn, std::int64_t periodUs)
    : source_(std::move(source)),
      monotonicUs_(std::move(monotonicUs)),
      warn_(std::move(warn)),
      periodUs_(periodUs) {
    state_.uri = std::move(uri);
    state_.unavailable = "no reading yet";
}

MonitorSampler::~MonitorSampler() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void MonitorSampler::start(std::int64_t originUs) {
    originUs_ = originUs;
    thread_ = std::thread([this] { run(); });
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return firstDone_; });
}

void MonitorSampler::stop() {
    {
        const std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

MonitorState MonitorSampler::state() const {
    const std::lock_guard lock(mutex_);
    return state_;
}

void MonitorSampler::run() {
    std::int64_t tick = 0;
    readOnce(tick);
    {
        const std::lock_guard lock(mutex_);
        firstDone_ = true;
    }
    wake_.notify_all();
    for (;;) {
        ++tick;
        // Waits on the steady clock for the tick's moment on the injected one.
        const std::int64_t dueInUs = originUs_ + tick * periodUs_ - monotonicUs_();
        std::unique_lock lock(mutex_);
        const bool stopping = wake_.wait_for(
            lock, std::chrono::microseconds(std::max<std::int64_t>(dueInUs, 0)), [this] { return stopping_; });
        lock.unlock();
        if (stopping) {
            // The last reading closes the run's last (partial) second.
            readOnce(tick);
            return;
        }
        // A reading that overran its period skips the ticks it missed.
        const std::int64_t now = monotonicUs_() - originUs_;
        if (now >= (tick + 1) * periodUs_) tick = now / periodUs_;
        readOnce(tick);
    }
}

void MonitorSampler::readOnce(std::int64_t tick) {
    DirmonSample sample{};
    std::string error;
    const bool ok = source_->read(sample, error);
    if (ok && sample.dialect == DIRMON_NONE)
        error = "the server shows this bind no monitor entries (cn=Monitor counters or a cn=monitor entry)";
    MonitorReading reading{tick, monotonicUs_() - originUs_, source_->ownBinds(), sample};
    const bool good = ok && sample.dialect != DIRMON_NONE;
    bool warn = false;
    {
        const std::lock_guard lock(mutex_);
        state_.latestGood = good;
        if (good) {
            state_.unavailable.clear();
            state_.dialect = sample.dialect;
            if (state_.readings.size() < kMaxReadings) state_.readings.push_back(reading);
            state_.last = reading;
            warned_ = false;
        } else {
            ++state_.failedReadings;
            if (state_.readings.empty()) state_.unavailable = error;
            warn = !warned_;
            warned_ = true;
        }
    }
    if (warn && warn_) {
        warn_(state_.readings.empty() ? "the directory's counters at " + state_.uri +
                                            " cannot be read: " + error + "; the run goes on without them"
                                      : "the directory's counters at " + state_.uri + " stopped at second " +
                                            std::to_string(reading.atUs / 1'000'000) + ": " + error);
    }
}

}  // namespace tarrow::monitor
