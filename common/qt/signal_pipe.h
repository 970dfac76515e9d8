// SIGINT and SIGTERM as events of the Qt event loop: the signals are taken off the loop's
// thread (common/signal_thread.h), whose directory calls they would break, and only the
// signal's number is written to a pipe, which the loop reads; so whatever the program does on
// a signal runs as an ordinary event, after the call under way has ended.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <string>
#include <memory>

#include "common/signal_thread.h"

namespace tarrow {

class SignalPipe {
public:
    // onSignal receives SIGINT or SIGTERM, once per signal. One instance at a time per process.
    // Throws std::system_error when the pipe or the handlers cannot be set up, or while another
    // instance exists: a program that could not be stopped cleanly does not start.
    explicit SignalPipe(std::function<void(int signo)> onSignal);
    // Puts back the earlier handlers and signal mask.
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<SignalThread> signals_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// "SIGINT", "SIGTERM", or "signal N".
std::string signalName(int signo);

}  // namespace tarrow
