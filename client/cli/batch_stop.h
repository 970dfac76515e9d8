// SIGINT and SIGTERM during a batch run with a report: the run stops before its next line,
// so that the report of what it did is written, and the program then ends by the same
// signal, as it would have without a report.
//
// The signals are blocked in the thread that runs the logins and taken by a thread of
// their own: a handler run on the login thread would interrupt the login under way (the
// directory library's poll() is never restarted), which would then fail against a server
// that is fine.
#pragma once

#include <atomic>
#include <csignal>
#include <thread>

namespace tarrow::cli {

class BatchStopSignals {
public:
    // Call on the thread that runs the logins.
    BatchStopSignals();
    // Puts the earlier handlers and signal mask back.
    ~BatchStopSignals();
    BatchStopSignals(const BatchStopSignals&) = delete;
    BatchStopSignals& operator=(const BatchStopSignals&) = delete;

    const std::atomic<bool>& stopRequested() const;
    // The signal that asked to stop, 0 when none came.
    int signal() const;
    // Ends the process by that signal with its default action (after the earlier handlers
    // are back); returns when no signal came.
    void endBySignal();

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    sigset_t previousMask_{};
    std::thread waiter_;
    bool restored_ = false;
    void restore();
};

}  // namespace tarrow::cli
