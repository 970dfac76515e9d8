// SIGINT and SIGTERM during a batch run with a report: the run stops before its next line,
// so that the report of what it did is written, and the program then ends by the same
// signal, as it would have without a report. The signals are taken off the login thread
// (common/signal_thread.h), so the login under way completes as it would have.
#pragma once

#include <atomic>
#include <memory>

#include "common/signal_thread.h"

namespace tarrow::cli {

class BatchStopSignals {
public:
    // Call on the thread that runs the logins.
    BatchStopSignals();
    // Puts the earlier handlers and signal mask back.
    ~BatchStopSignals() = default;
    BatchStopSignals(const BatchStopSignals&) = delete;
    BatchStopSignals& operator=(const BatchStopSignals&) = delete;

    const std::atomic<bool>& stopRequested() const;
    // The signal that asked to stop, 0 when none came.
    int signal() const;
    // Ends the process by that signal with its default action (after the earlier handlers
    // are back); returns when no signal came.
    void endBySignal();

private:
    std::unique_ptr<SignalThread> signals_;
};

}  // namespace tarrow::cli
