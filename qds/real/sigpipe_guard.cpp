#include "qds/real/sigpipe_guard.h"

#include <pthread.h>

#include <ctime>

namespace qds {

SigpipeGuard::SigpipeGuard() {
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &block, &previousMask_);
    // A thread that keeps SIGPIPE blocked itself (a load generator's workers) needs nothing
    // more: one system call per guard instead of five, on every write of a login.
    alreadyBlocked_ = sigismember(&previousMask_, SIGPIPE) == 1;
    if (alreadyBlocked_) return;
    // Blocking first is safe: a SIGPIPE pending now was raised before the guard.
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
}

SigpipeGuard::~SigpipeGuard() {
    // A thread that blocks SIGPIPE keeps what is pending, as it would without the guard.
    if (alreadyBlocked_) return;
    if (!wasPending_) {
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipeOnly;
            sigemptyset(&pipeOnly);
            sigaddset(&pipeOnly, SIGPIPE);
            const timespec noWait{0, 0};
            sigtimedwait(&pipeOnly, nullptr, &noWait);
        }
    }
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace qds
