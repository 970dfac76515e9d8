// The relay's event loop on poll(): accepts clients, connects each to the target, and moves the
// bytes of both directions through a DelayLine. One thread; every wait is bounded.
#pragma once

#include "tools/delay_relay/delay_line.h"
#include "tools/delay_relay/relay_options.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarrow::relay {

struct RelayCounts {
    std::uint64_t accepted = 0;       // client connections taken
    std::uint64_t targetFailed = 0;   // ... whose connect to the target failed or timed out
    std::uint64_t bytesToTarget = 0;  // bytes written to the target
    std::uint64_t bytesBack = 0;      // bytes written back to the clients
};

class RelayServer {
public:
    explicit RelayServer(RelayOptions options);
    ~RelayServer();
    RelayServer(const RelayServer&) = delete;
    RelayServer& operator=(const RelayServer&) = delete;

    // Binds and listens; false with a message when that is not possible.
    bool open(std::string& error);
    std::uint16_t listenPort() const { return listenPort_; }
    // Serves until stop becomes non-zero (a signal handler sets it).
    void run(const volatile std::sig_atomic_t& stop);
    const RelayCounts& counts() const { return counts_; }

private:
    struct Connection;

    void acceptClients(std::int64_t nowUs);
    void serve(Connection& c, short clientEvents, short targetEvents, std::int64_t nowUs);
    bool pump(int fromFd, DelayLine& line, bool& sourceEnded, std::int64_t nowUs);
    bool drain(int toFd, DelayLine& line, bool& shut, std::uint64_t& counted, std::int64_t nowUs);
    int pollTimeoutMs(std::int64_t nowUs) const;

    RelayOptions options_;
    int listenFd_ = -1;
    std::uint16_t listenPort_ = 0;
    std::vector<std::unique_ptr<Connection>> connections_;
    RelayCounts counts_;
};

// Microseconds on the monotonic clock.
std::int64_t monotonicNowUs();

}  // namespace tarrow::relay
