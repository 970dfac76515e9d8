#include "client/cli/batch_stop.h"

#include <pthread.h>

namespace tarrow::cli {
namespace {

std::atomic<bool> stopFlag{false};
std::atomic<int> stopSignal{0};
std::atomic<bool> waiterDone{false};

void noteStop(int sig) {
    int none = 0;
    stopSignal.compare_exchange_strong(none, sig);
    stopFlag.store(true);
}

// A thread made before this one (Qt's, say) may still have the signals unblocked; the
// kernel may hand them to it, and this handler then only notes the stop there.
extern "C" void onStopSignal(int sig) { noteStop(sig); }

sigset_t stopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

BatchStopSignals::BatchStopSignals() {
    stopFlag = false;
    stopSignal = 0;
    waiterDone = false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
    const sigset_t set = stopSet();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    // Inherits the blocked mask, as sigwait needs.
    waiter_ = std::thread([] {
        const sigset_t waitSet = stopSet();
        for (;;) {
            int sig = 0;
            if (sigwait(&waitSet, &sig) != 0) continue;
            if (waiterDone.load()) return;
            noteStop(sig);
        }
    });
}

BatchStopSignals::~BatchStopSignals() { restore(); }

void BatchStopSignals::restore() {
    if (restored_) return;
    restored_ = true;
    // Wakes the waiter with a signal sent to it alone, which it knows not to count.
    waiterDone = true;
    pthread_kill(waiter_.native_handle(), SIGTERM);
    waiter_.join();
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
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
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, sig);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    std::raise(sig);
}

}  // namespace tarrow::cli
