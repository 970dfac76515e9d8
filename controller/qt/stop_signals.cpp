#include "controller/qt/stop_signals.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tarrow::ctrl {

namespace {
int pipeFds[2] = {-1, -1};

extern "C" void onStopSignal(int signo) {
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const auto n = ::write(pipeFds[1], &byte, 1);  // async-signal-safe
}
}  // namespace

StopSignals::StopSignals(std::function<void(const char*)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(pipeFds[0], &byte, 1) == 1)
            onSignal_(byte == SIGINT ? "SIGINT" : "SIGTERM");
    });
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

StopSignals::~StopSignals() {
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    notifier_.reset();
    for (int& fd : pipeFds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

}  // namespace tarrow::ctrl
