// Bounds the part of establishing a connection that libldap cannot bound itself.
#pragma once

#include <ldap.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace qds {

// libldap bounds the TCP connect, but a TLS handshake (ldaps:// or StartTLS) with a
// server that accepts and never answers waits for ever. Armed around that step, the
// watchdog shuts the connection's socket down once the bound has passed, so that the
// waiting read returns at once and the call fails.
class ConnectWatchdog {
public:
    // Learns the socket of every connection ld opens; must outlive ld's connections.
    explicit ConnectWatchdog(LDAP* ld);
    ~ConnectWatchdog();
    ConnectWatchdog(const ConnectWatchdog&) = delete;
    ConnectWatchdog& operator=(const ConnectWatchdog&) = delete;

    // Starts the count-down; a connection opened after it ran out is refused.
    void arm(std::chrono::milliseconds bound);
    // Stops the count-down. True when it ran out, that is when the step was cut short.
    bool disarm();

private:
    static int onConnect(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* ctx);
    static void onClose(LDAP*, Sockbuf* sb, ldap_conncb* ctx);

    ldap_conncb callbacks_{};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread timer_;
    int fd_ = -1;  // the socket of the open connection, -1 when there is none
    bool armed_ = false;
    bool expired_ = false;
};

}  // namespace qds
