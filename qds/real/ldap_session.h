// One LDAP connection with bounded waits; every result is a library return code.
#pragma once

#include "qds/real/timeouts.h"

#include <cstdint>
#include <memory>
#include <string>

typedef struct ldap LDAP;
struct ldapmsg;

namespace qds {

class ConnectWatchdog;

class LdapSession {
public:
    // Prepares a connection to the URL; nothing is sent yet. With startTls (ignored for
    // an ldaps:// URL) the connection asks for StartTLS before the bind.
    LdapSession(const std::string& url, const Timeouts& timeouts, bool startTls = false);
    ~LdapSession();
    LdapSession(const LdapSession&) = delete;
    LdapSession& operator=(const LdapSession&) = delete;

    // QV_OK, or QV_ERR_BAD_NAME when the URL was refused.
    std::int32_t status() const { return status_; }

    // Connects (TCP, then TLS for ldaps:// or StartTLS) and binds with a password. On
    // refusal it finds out whether the user, or the context above it, exists, to tell
    // those apart from a wrong password. Times the connect, TLS and bind phases.
    std::int32_t simpleBind(const std::string& dn, const std::string& baseDn, const std::string& password);

    // Asks the server whom the connection is bound as ("dn:..." or ""). Timed as the
    // verify phase.
    std::int32_t whoAmI(std::string& authzId);

    // Ends the connection politely; afterwards the session holds nothing.
    void unbind();

private:
    // Opens the connection: TCP, and TLS when the URL or StartTLS asks for it.
    std::int32_t open();
    std::int32_t awaitResult(int msgid, ::ldapmsg** result);
    std::int32_t probeMissingEntry(const std::string& dn, const std::string& baseDn);

    LDAP* ld_ = nullptr;
    std::int32_t status_;
    Timeouts timeouts_;
    // ldaps://: the connection is made as ldap:// to the same host and port, and the
    // handshake follows on it at once (what libldap does for ldaps://, but in a step of
    // its own, so that it is timed apart and waits without spinning).
    bool tlsInPlace_ = false;
    bool startTls_ = false;  // ldap:// with StartTLS
    // With TLS only: bounds the handshake, which libldap leaves unbounded.
    std::unique_ptr<ConnectWatchdog> handshakeWatchdog_;
};

// Maps an LDAP result code to a library return code.
std::int32_t codeOfLdapResult(int ldapResult);

// True when both DNs name the same entry (case and escaping aside).
bool sameDn(const std::string& a, const std::string& b);

}  // namespace qds
