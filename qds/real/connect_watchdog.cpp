#include "qds/real/connect_watchdog.h"

#include <sys/socket.h>

namespace qds {

ConnectWatchdog::ConnectWatchdog(LDAP* ld) {
    callbacks_.lc_add = &ConnectWatchdog::onConnect;
    callbacks_.lc_del = &ConnectWatchdog::onClose;
    callbacks_.lc_arg = this;
    ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &callbacks_);
}

ConnectWatchdog::~ConnectWatchdog() { disarm(); }

void ConnectWatchdog::arm(std::chrono::milliseconds bound) {
    disarm();
    {
        const std::lock_guard lock(mutex_);
        armed_ = true;
        expired_ = false;
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    timer_ = std::thread([this, deadline] {
        std::unique_lock lock(mutex_);
        if (changed_.wait_until(lock, deadline, [this] { return !armed_; })) return;
        expired_ = true;
        if (fd_ >= 0) ::shutdown(fd_, SHUT_RDWR);
    });
}

bool ConnectWatchdog::disarm() {
    {
        const std::lock_guard lock(mutex_);
        armed_ = false;
    }
    changed_.notify_all();
    if (timer_.joinable()) timer_.join();
    const std::lock_guard lock(mutex_);
    return expired_;
}

int ConnectWatchdog::onConnect(LDAP*, Sockbuf* sb, LDAPURLDesc*, sockaddr*, ldap_conncb* ctx) {
    auto* self = static_cast<ConnectWatchdog*>(ctx->lc_arg);
    ber_socket_t fd = -1;
    ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd);
    const std::lock_guard lock(self->mutex_);
    if (self->armed_ && self->expired_) return -1;
    self->fd_ = fd;
    return 0;
}

void ConnectWatchdog::onClose(LDAP*, Sockbuf*, ldap_conncb* ctx) {
    auto* self = static_cast<ConnectWatchdog*>(ctx->lc_arg);
    const std::lock_guard lock(self->mutex_);
    self->fd_ = -1;
}

}  // namespace qds
