#include "common/signal_thread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace tarrow {
namespace {

std::atomic<void (*)(int)> callback{nullptr};
std::atomic<bool> waiterDone{false};

extern "C" void onSignalHere(int signo) {
    const int saved = errno;
    if (auto* f = callback.load()) f(signo);
    errno = saved;
}

sigset_t theTwo() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

SignalThread::SignalThread(void (*onSignal)(int)) {
    void (*none)(int) = nullptr;
    if (!callback.compare_exchange_strong(none, onSignal)) {
        throw std::system_error(std::make_error_code(std::errc::device_or_resource_busy),
                                "Cannot take SIGINT and SIGTERM: they are taken already");
    }
    waiterDone = false;
    struct sigaction action {};
    action.sa_handler = onSignalHere;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGINT, &action, &previousInt_) != 0 || ::sigaction(SIGTERM, &action, &previousTerm_) != 0) {
        const int error = errno;
        ::sigaction(SIGINT, &previousInt_, nullptr);
        callback = nullptr;
        throw std::system_error(error, std::generic_category(), "Cannot handle SIGINT and SIGTERM");
    }
    const sigset_t set = theTwo();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    try {
        // Inherits the blocked mask, as sigwait needs.
        waiter_ = std::thread([] {
            const sigset_t waitSet = theTwo();
            for (;;) {
                int signo = 0;
                if (sigwait(&waitSet, &signo) != 0) continue;
                if (waiterDone.load()) return;
                if (auto* f = callback.load()) f(signo);
            }
        });
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
        ::sigaction(SIGINT, &previousInt_, nullptr);
        ::sigaction(SIGTERM, &previousTerm_, nullptr);
        callback = nullptr;
        throw;
    }
}

SignalThread::~SignalThread() {
    // Wakes the waiter with a signal sent to it alone, which it knows not to pass on.
    waiterDone = true;
    pthread_kill(waiter_.native_handle(), SIGTERM);
    waiter_.join();
    ::sigaction(SIGINT, &previousInt_, nullptr);
    ::sigaction(SIGTERM, &previousTerm_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    callback = nullptr;
}

}  // namespace tarrow
