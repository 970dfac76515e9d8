// SIGINT and SIGTERM during a batch run with a report: the run stops before its next line,
// so that the report of what it did is written, and the program then ends by the same
// signal, as it would have without a report.
#pragma once

#include <atomic>
#include <csignal>

namespace tarrow::cli {

class BatchStopSignals {
public:
    BatchStopSignals();
    // Puts the earlier handlers back.
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
    bool restored_ = false;
    void restore();
};

}  // namespace tarrow::cli
