#include "client/cli/batch_stop.h"

#include <pthread.h>

#include <csignal>

namespace tarrow::cli {
namespace {

std::atomic<bool> stopFlag{false};
std::atomic<int> stopSignal{0};

void noteStop(int sig) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, sig);
    stopFlag.store(true);
}

}  // namespace

BatchStopSignals::BatchStopSignals() {
    stopFlag = false;
    stopSignal = 0;
    signals_ = std::make_unique<SignalThread>(noteStop);
}

const std::atomic<bool>& BatchStopSignals::stopRequested() const { return stopFlag; }

int BatchStopSignals::signal() const { return stopSignal.load(); }

void BatchStopSignals::endBySignal() {
    const int sig = signal();
    if (sig == 0) return;
    signals_.reset();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, sig);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    std::raise(sig);
}

}  // namespace tarrow::cli
