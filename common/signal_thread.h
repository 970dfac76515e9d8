// SIGINT and SIGTERM taken off the calling thread. A handler that runs on a thread in the
// middle of a directory call breaks that call (libldap's poll() is never restarted after a
// handler), so a login under way would fail against a server that is fine. Instead the two
// signals are blocked on the thread that makes this, and on every thread it starts later,
// and a thread of its own receives them with sigwait.
#pragma once

#include <csignal>
#include <thread>

namespace tarrow {

class SignalThread {
public:
    // onSignal receives SIGINT or SIGTERM, once per signal, on the waiting thread. It must be
    // async-signal-safe: a thread made before this one may still have the signals unblocked,
    // and there the kernel runs it as the handler. One instance at a time per process.
    // Throws std::system_error when the handlers or the thread cannot be set up.
    explicit SignalThread(void (*onSignal)(int signo));
    // Stops the waiting thread, then puts back the earlier handlers and signal mask.
    ~SignalThread();
    SignalThread(const SignalThread&) = delete;
    SignalThread& operator=(const SignalThread&) = delete;

private:
    struct sigaction previousInt_ {};
    struct sigaction previousTerm_ {};
    sigset_t previousMask_{};
    std::thread waiter_;
};

}  // namespace tarrow
