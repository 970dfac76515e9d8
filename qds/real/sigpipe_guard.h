// Keeps SIGPIPE from ending the process while the library writes to a connection that
// the server has closed: the write then fails with EPIPE instead.
#pragma once

#include <csignal>

namespace qds {

// Blocks SIGPIPE on this thread for its lifetime; a SIGPIPE raised meanwhile is taken
// off again, unless one was already pending before. On a thread that has SIGPIPE blocked
// already, it changes nothing.
class SigpipeGuard {
public:
    SigpipeGuard();
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t previousMask_;
    bool wasPending_ = false;
    bool alreadyBlocked_ = false;
};

}  // namespace qds
