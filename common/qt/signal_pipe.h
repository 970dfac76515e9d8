// SIGINT and SIGTERM as events of the Qt event loop: the signal handler only writes the
// signal's number to a pipe, and the loop reads it, so whatever the program does on a signal
// runs as an ordinary event.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <string>
#include <memory>

namespace tarrow {

class SignalPipe {
public:
    // onSignal receives SIGINT or SIGTERM, once per signal. One instance at a time per process.
    // Throws std::system_error when the pipe or the handlers cannot be set up, or while another
    // instance exists: a program that could not be stopped cleanly does not start.
    explicit SignalPipe(std::function<void(int signo)> onSignal);
    // Puts back the default handlers.
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

private:
    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// "SIGINT", "SIGTERM", or "signal N".
std::string signalName(int signo);

}  // namespace tarrow
