#include "client/cli/batch_stop.h"

namespace tarrow::cli {
namespace {

std::atomic<bool> stopFlag{false};
std::atomic<int> stopSignal{0};

extern "C" void onStopSignal(int sig) {
    stopSignal.store(sig);
    stopFlag.store(true);
}

}  // namespace

BatchStopSignals::BatchStopSignals() {
    stopFlag = false;
    stopSignal = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // The login under way finishes: its system calls go on after the handler.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
}

BatchStopSignals::~BatchStopSignals() { restore(); }

void BatchStopSignals::restore() {
    if (restored_) return;
    restored_ = true;
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
}

const std::atomic<bool>& BatchStopSignals::stopRequested() const { return stopFlag; }

int BatchStopSignals::signal() const { return stopSignal.load(); }

void BatchStopSignals::endBySignal() {
    const int sig = signal();
    if (sig == 0) return;
    restore();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    std::raise(sig);
}

}  // namespace tarrow::cli
