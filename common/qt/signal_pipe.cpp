#include "common/qt/signal_pipe.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "common/signal_thread.h"

namespace tarrow {
namespace {

int signalPipe[2] = {-1, -1};

// Async-signal-safe, as SignalThread asks: one write.
void onPipedSignal(int signo) {
    const auto byte = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void closePipe() {
    for (int& fd : signalPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace

SignalPipe::SignalPipe(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (signalPipe[0] >= 0) {
        throw std::system_error(std::make_error_code(std::errc::device_or_resource_busy),
                                "Cannot create the signal pipe: one exists already");
    }
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "Cannot create the signal pipe");
    }
    try {
        signals_ = std::make_unique<SignalThread>(onPipedSignal);
    } catch (...) {
        closePipe();
        throw;
    }
    notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        unsigned char signo = 0;
        while (::read(signalPipe[0], &signo, 1) == 1) {
            if (onSignal_) onSignal_(signo);
        }
    });
}

SignalPipe::~SignalPipe() {
    signals_.reset();
    notifier_.reset();
    closePipe();
}

std::string signalName(int signo) {
    if (signo == SIGINT) return "SIGINT";
    if (signo == SIGTERM) return "SIGTERM";
    return "signal " + std::to_string(signo);
}

}  // namespace tarrow
