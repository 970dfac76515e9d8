#include "qds/real/ldap_session.h"

#include "qds/include/qverrors.h"
#include "qds/real/connect_watchdog.h"
#include "qds/real/login_timing.h"
#include "qds/real/sigpipe_guard.h"

#include <ldap.h>

#include <optional>

#include <strings.h>

namespace qds {
namespace {

timeval toTimeval(int ms) {
    timeval tv;
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    return tv;
}

// "ldaps://host[:port]..." -> "ldap://host:port...", the port made explicit (636 when
// none was given); nothing when the URL cannot be parsed.
std::optional<std::string> plainUrlOfLdaps(const std::string& url) {
    LDAPURLDesc* desc = nullptr;
    if (ldap_url_parse(url.c_str(), &desc) != LDAP_URL_SUCCESS || !desc) return std::nullopt;
    char* const scheme = desc->lud_scheme;
    char plain[] = "ldap";
    desc->lud_scheme = plain;
    if (desc->lud_port == 0) desc->lud_port = LDAPS_PORT;
    char* text = ldap_url_desc2str(desc);
    desc->lud_scheme = scheme;
    ldap_free_urldesc(desc);
    if (!text) return std::nullopt;
    std::string out(text);
    ldap_memfree(text);
    return out;
}

}  // namespace

std::int32_t codeOfLdapResult(int ldapResult) {
    switch (ldapResult) {
    case LDAP_SUCCESS: return QV_OK;
    case LDAP_SERVER_DOWN:
    case LDAP_CONNECT_ERROR: return QV_ERR_SERVER_UNREACHABLE;
    case LDAP_TIMEOUT:
    case LDAP_TIMELIMIT_EXCEEDED: return QV_ERR_TIMEOUT;
    case LDAP_INVALID_CREDENTIALS:
    case LDAP_INAPPROPRIATE_AUTH: return QV_ERR_INVALID_CREDENTIALS;
    case LDAP_NO_SUCH_OBJECT: return QV_ERR_NO_SUCH_ENTRY;
    case LDAP_INVALID_DN_SYNTAX: return QV_ERR_BAD_NAME;
    case LDAP_NO_MEMORY: return QV_ERR_OUT_OF_MEMORY;
    case LDAP_PARAM_ERROR: return QV_ERR_BAD_ARGUMENT;
    case LDAP_UNWILLING_TO_PERFORM:
    case LDAP_INSUFFICIENT_ACCESS:
    case LDAP_CONFIDENTIALITY_REQUIRED:
    case LDAP_STRONG_AUTH_REQUIRED:
    case LDAP_BUSY:
    case LDAP_UNAVAILABLE: return QV_ERR_SERVER_REFUSED;
    default: return QV_ERR_PROTOCOL;
    }
}

bool sameDn(const std::string& a, const std::string& b) {
    // Servers mostly answer with the DN as it was sent: no parsing needed then.
    if (strcasecmp(a.c_str(), b.c_str()) == 0) return true;
    struct berval na {
    }, nb{};
    if (ldap_dn_normalize(a.c_str(), LDAP_DN_FORMAT_LDAPV3, &na.bv_val, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS)
        return strcasecmp(a.c_str(), b.c_str()) == 0;
    if (ldap_dn_normalize(b.c_str(), LDAP_DN_FORMAT_LDAPV3, &nb.bv_val, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) {
        ldap_memfree(na.bv_val);
        return strcasecmp(a.c_str(), b.c_str()) == 0;
    }
    // The normal form keeps the letter case of values; attribute values here match
    // without regard to case.
    const bool same = strcasecmp(na.bv_val ? na.bv_val : "", nb.bv_val ? nb.bv_val : "") == 0;
    ldap_memfree(na.bv_val);
    ldap_memfree(nb.bv_val);
    return same;
}

LdapSession::LdapSession(const std::string& url, const Timeouts& timeouts, bool startTls)
    : status_(QV_OK), timeouts_(timeouts) {
    tlsInPlace_ = strncasecmp(url.c_str(), "ldaps://", 8) == 0;
    startTls_ = startTls && !tlsInPlace_;
    const std::optional<std::string> connectUrl = tlsInPlace_ ? plainUrlOfLdaps(url) : url;
    if (!connectUrl || ldap_initialize(&ld_, connectUrl->c_str()) != LDAP_SUCCESS || !ld_) {
        ld_ = nullptr;
        status_ = QV_ERR_BAD_NAME;
        return;
    }
    const int version = LDAP_VERSION3;
    ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval connect = toTimeval(timeouts_.connectMs);
    ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &connect);
    const timeval operation = toTimeval(timeouts_.operationMs);
    ldap_set_option(ld_, LDAP_OPT_TIMEOUT, &operation);
    if (tlsInPlace_ || startTls_) handshakeWatchdog_ = std::make_unique<ConnectWatchdog>(ld_);
}

LdapSession::~LdapSession() { unbind(); }

void LdapSession::unbind() {
    const SigpipeGuard guard;  // the server may have closed the connection long ago
    if (ld_) ldap_unbind_ext_s(ld_, nullptr, nullptr);
    ld_ = nullptr;
}

std::int32_t LdapSession::awaitResult(int msgid, LDAPMessage** result) {
    timeval wait = toTimeval(timeouts_.operationMs);
    const int got = ldap_result(ld_, msgid, LDAP_MSG_ALL, &wait, result);
    if (got == 0) {
        // The server holds the request: give it up so that nothing waits for it.
        ldap_abandon_ext(ld_, msgid, nullptr, nullptr);
        return QV_ERR_TIMEOUT;
    }
    if (got < 0) {
        int err = LDAP_OTHER;
        ldap_get_option(ld_, LDAP_OPT_RESULT_CODE, &err);
        return codeOfLdapResult(err);
    }
    return QV_OK;
}

std::int32_t LdapSession::open() {
    PhaseTimer connect(QV_PHASE_CONNECT);
    int rc = ldap_connect(ld_);
    connect.stop();
    if (rc != LDAP_SUCCESS) return codeOfLdapResult(rc);
    if (!tlsInPlace_ && !startTls_) return QV_OK;

    // From here on the server was reached: a failure is one of TLS. The network time-out
    // bounded the TCP connection; for the handshake it would make libldap spin on a
    // non-blocking socket, so the handshake blocks instead, bounded by the watchdog.
    const timeval unbounded{-1, 0};  // libldap's "no network time-out" (a null pointer is refused)
    ldap_set_option(ld_, LDAP_OPT_NETWORK_TIMEOUT, &unbounded);
    PhaseTimer tls(QV_PHASE_TLS);
    handshakeWatchdog_->arm(std::chrono::milliseconds(timeouts_.connectMs));
    rc = tlsInPlace_ ? ldap_install_tls(ld_) : ldap_start_tls_s(ld_, nullptr, nullptr);
    const bool cut = handshakeWatchdog_->disarm();
    tls.stop();
    if (cut || rc == LDAP_TIMEOUT) return QV_ERR_TIMEOUT;
    // Refused by the server, an untrusted certificate, a wrong host name: no TLS.
    return rc == LDAP_SUCCESS ? QV_OK : QV_ERR_TLS;
}

std::int32_t LdapSession::simpleBind(const std::string& dn, const std::string& baseDn,
                                     const std::string& password) {
    if (!ld_) return status_;
    const SigpipeGuard guard;
    if (const std::int32_t opened = open(); opened != QV_OK) return opened;
    berval cred;
    cred.bv_val = const_cast<char*>(password.data());
    cred.bv_len = password.size();
    int msgid = 0;
    PhaseTimer bind(QV_PHASE_BIND);
    int rc = ldap_sasl_bind(ld_, dn.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, &msgid);
    if (rc != LDAP_SUCCESS) return codeOfLdapResult(rc);
    LDAPMessage* result = nullptr;
    if (const std::int32_t waited = awaitResult(msgid, &result); waited != QV_OK) return waited;
    int err = LDAP_OTHER;
    rc = ldap_parse_result(ld_, result, &err, nullptr, nullptr, nullptr, nullptr, 1);
    bind.stop();
    if (rc != LDAP_SUCCESS) return codeOfLdapResult(rc);
    if (err == LDAP_INVALID_CREDENTIALS || err == LDAP_NO_SUCH_OBJECT) return probeMissingEntry(dn, baseDn);
    return codeOfLdapResult(err);
}

std::int32_t LdapSession::probeMissingEntry(const std::string& dn, const std::string& baseDn) {
    // Servers answer a bind as an unknown user like a wrong password; an anonymous
    // look-up of the entry tells the cases apart where the server allows it.
    char noAttributes[] = LDAP_NO_ATTRS;
    char* attrs[] = {noAttributes, nullptr};
    int msgid = 0;
    if (ldap_search_ext(ld_, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 1, nullptr, nullptr,
                        nullptr, 1, &msgid) != LDAP_SUCCESS)
        return QV_ERR_INVALID_CREDENTIALS;
    LDAPMessage* result = nullptr;
    if (awaitResult(msgid, &result) != QV_OK) return QV_ERR_INVALID_CREDENTIALS;
    int err = LDAP_OTHER;
    char* matched = nullptr;
    LDAPMessage* done = result;
    while (done && ldap_msgtype(done) != LDAP_RES_SEARCH_RESULT) done = ldap_next_message(ld_, done);
    std::int32_t code = QV_ERR_INVALID_CREDENTIALS;
    if (done && ldap_parse_result(ld_, done, &err, &matched, nullptr, nullptr, nullptr, 0) == LDAP_SUCCESS &&
        err == LDAP_NO_SUCH_OBJECT) {
        code = sameDn(matched ? matched : "", baseDn) ? QV_ERR_NO_SUCH_ENTRY : QV_ERR_NO_SUCH_CONTEXT;
    }
    ldap_memfree(matched);
    ldap_msgfree(result);
    return code;
}

std::int32_t LdapSession::whoAmI(std::string& authzId) {
    authzId.clear();
    if (!ld_) return QV_ERR_NOT_LOGGED_IN;
    const SigpipeGuard guard;
    PhaseTimer verify(QV_PHASE_VERIFY);
    int msgid = 0;
    int rc = ldap_whoami(ld_, nullptr, nullptr, &msgid);
    if (rc != LDAP_SUCCESS) return codeOfLdapResult(rc);
    LDAPMessage* result = nullptr;
    if (const std::int32_t waited = awaitResult(msgid, &result); waited != QV_OK) return waited;
    berval* id = nullptr;
    rc = ldap_parse_whoami(ld_, result, &id);
    ldap_msgfree(result);
    verify.stop();
    if (rc != LDAP_SUCCESS) return codeOfLdapResult(rc);
    if (id) {
        authzId.assign(id->bv_val, id->bv_len);
        ber_bvfree(id);
    }
    return QV_OK;
}

}  // namespace qds
