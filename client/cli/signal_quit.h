// Ends the event loop on SIGINT and SIGTERM: the handler only writes to a pipe, and the loop
// reads it, so the shutdown itself runs as an ordinary event.
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace tarrow::cli {

class SignalQuit {
public:
    // Throws std::runtime_error when the pipe or the handlers cannot be set up.
    explicit SignalQuit(std::function<void()> onSignal);
    ~SignalQuit();
    SignalQuit(const SignalQuit&) = delete;
    SignalQuit& operator=(const SignalQuit&) = delete;

private:
    std::function<void()> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tarrow::cli
