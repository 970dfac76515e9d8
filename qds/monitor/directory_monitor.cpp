// The monitor reader over libldap: one connection, bound once, one search per reading.
#include "qds/monitor/directory_monitor.h"

#include <ldap.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "qds/monitor/monitor_entries.h"
#include "qds/real/sigpipe_guard.h"

struct Dirmon {
    std::string url;
    std::string bindDn;
    std::string password;
    int connectMs = 3000;
    int opMs = 5000;
    LDAP* ld = nullptr;
    std::atomic<unsigned long long> ownBinds{0};
};

namespace {

constexpr int kSizeLimit = 64;  // the entries asked for are a handful; a server that sends more is cut short

void setError(char* error, std::size_t size, const std::string& text) {
    if (error && size > 0) std::snprintf(error, size, "%s", text.c_str());
}

timeval toTimeval(int ms) { return timeval{ms / 1000, static_cast<suseconds_t>((ms % 1000) * 1000)}; }

void dropConnection(Dirmon& m) {
    if (m.ld) ldap_unbind_ext_s(m.ld, nullptr, nullptr);
    m.ld = nullptr;
}

// Waits (bounded) for the whole answer to msgid. Returns an LDAP result code, LDAP_TIMEOUT
// when the server did not answer in time.
int awaitAll(Dirmon& m, int msgid, LDAPMessage** result) {
    timeval wait = toTimeval(m.opMs);
    const int got = ldap_result(m.ld, msgid, LDAP_MSG_ALL, &wait, result);
    if (got == 0) {
        ldap_abandon_ext(m.ld, msgid, nullptr, nullptr);
        return LDAP_TIMEOUT;
    }
    if (got < 0) {
        int err = LDAP_OTHER;
        ldap_get_option(m.ld, LDAP_OPT_RESULT_CODE, &err);
        return err == LDAP_SUCCESS ? LDAP_OTHER : err;
    }
    return LDAP_SUCCESS;
}

std::string ldapText(const char* what, int rc) { return std::string(what) + ": " + ldap_err2string(rc); }

// Connects and binds; an empty DN binds anonymously (counted like any other bind).
bool connectAndBind(Dirmon& m, std::string& error) {
    if (ldap_initialize(&m.ld, m.url.c_str()) != LDAP_SUCCESS || !m.ld) {
        m.ld = nullptr;
        error = "cannot use " + m.url;
        return false;
    }
    const int version = LDAP_VERSION3;
    ldap_set_option(m.ld, LDAP_OPT_PROTOCOL_VERSION, &version);
    ldap_set_option(m.ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    const timeval connect = toTimeval(m.connectMs);
    ldap_set_option(m.ld, LDAP_OPT_NETWORK_TIMEOUT, &connect);
    const timeval operation = toTimeval(m.opMs);
    ldap_set_option(m.ld, LDAP_OPT_TIMEOUT, &operation);
    int rc = ldap_connect(m.ld);
    if (rc != LDAP_SUCCESS) {
        error = ldapText("cannot connect", rc);
        dropConnection(m);
        return false;
    }
    berval cred{static_cast<ber_len_t>(m.password.size()), m.password.data()};
    int msgid = 0;
    rc = ldap_sasl_bind(m.ld, m.bindDn.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, &msgid);
    if (rc == LDAP_SUCCESS) ++m.ownBinds;
    LDAPMessage* result = nullptr;
    if (rc == LDAP_SUCCESS) rc = awaitAll(m, msgid, &result);
    if (rc == LDAP_SUCCESS) {
        int code = LDAP_OTHER;
        ldap_parse_result(m.ld, result, &code, nullptr, nullptr, nullptr, nullptr, 1);
        result = nullptr;
        rc = code;
    }
    if (result) ldap_msgfree(result);
    if (rc != LDAP_SUCCESS) {
        error = ldapText(m.bindDn.empty() ? "the anonymous bind failed" : "the bind failed", rc);
        dropConnection(m);
        return false;
    }
    return true;
}

bool search(Dirmon& m, std::vector<qds::monitor::MonitorEntry>& entries, std::string& error) {
    int msgid = 0;
    timeval limit = toTimeval(m.opMs);
    int rc = ldap_search_ext(m.ld, qds::monitor::kSearchBase, LDAP_SCOPE_SUBTREE, qds::monitor::kSearchFilter,
                             const_cast<char**>(qds::monitor::kSearchAttributes), 0, nullptr, nullptr, &limit,
                             kSizeLimit, &msgid);
    LDAPMessage* result = nullptr;
    if (rc == LDAP_SUCCESS) rc = awaitAll(m, msgid, &result);
    if (rc != LDAP_SUCCESS) {
        error = ldapText("reading the monitor entries failed", rc);
        if (result) ldap_msgfree(result);
        return false;
    }
    int code = LDAP_SUCCESS;
    for (LDAPMessage* e = ldap_first_message(m.ld, result); e; e = ldap_next_message(m.ld, e)) {
        if (ldap_msgtype(e) == LDAP_RES_SEARCH_RESULT) {
            ldap_parse_result(m.ld, e, &code, nullptr, nullptr, nullptr, nullptr, 0);
            continue;
        }
        if (ldap_msgtype(e) != LDAP_RES_SEARCH_ENTRY) continue;
        qds::monitor::MonitorEntry entry;
        if (char* dn = ldap_get_dn(m.ld, e)) {
            entry.dn = dn;
            ldap_memfree(dn);
        }
        BerElement* ber = nullptr;
        for (char* a = ldap_first_attribute(m.ld, e, &ber); a; a = ldap_next_attribute(m.ld, e, ber)) {
            if (berval** values = ldap_get_values_len(m.ld, e, a)) {
                if (values[0]) {
                    std::string name(a);
                    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    entry.values[name] = std::string(values[0]->bv_val, values[0]->bv_len);
                }
                ldap_value_free_len(values);
            }
            ldap_memfree(a);
        }
        if (ber) ber_free(ber, 0);
        entries.push_back(std::move(entry));
    }
    ldap_msgfree(result);
    // No such object or no access: the server shows no monitor to this bind, which the
    // caller tells by the dialect; other refusals are errors.
    if (code != LDAP_SUCCESS && code != LDAP_NO_SUCH_OBJECT && code != LDAP_SIZELIMIT_EXCEEDED &&
        code != LDAP_INSUFFICIENT_ACCESS) {
        error = ldapText("reading the monitor entries failed", code);
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

Dirmon* dirmon_open(const char* uri, const char* bind_dn, const char* password, int connect_timeout_ms,
                    int op_timeout_ms, char* error, size_t error_size) {
    std::string url = uri ? uri : "";
    if (strncasecmp(url.c_str(), "ldaps://", 8) == 0) {
        setError(error, error_size, "the monitor reads over ldap:// only, not " + url);
        return nullptr;
    }
    if (url.find("://") == std::string::npos) url = "ldap://" + url;
    if (strncasecmp(url.c_str(), "ldap://", 7) != 0 || url.size() <= 7 || !ldap_is_ldap_url(url.c_str())) {
        setError(error, error_size, "not an ldap:// URI: " + std::string(uri ? uri : ""));
        return nullptr;
    }
    auto* m = new Dirmon;
    m->url = url;
    m->bindDn = bind_dn ? bind_dn : "";
    // Anonymous takes no password: with one, the server would refuse the bind.
    m->password = password && !m->bindDn.empty() ? password : "";
    if (connect_timeout_ms > 0) m->connectMs = connect_timeout_ms;
    if (op_timeout_ms > 0) m->opMs = op_timeout_ms;
    return m;
}

int dirmon_read(Dirmon* monitor, DirmonSample* sample, char* error, size_t error_size) {
    if (!monitor || !sample) return -1;
    const qds::SigpipeGuard guard;  // the server may have closed the connection
    std::string reason;
    if (!monitor->ld && !connectAndBind(*monitor, reason)) {
        setError(error, error_size, reason);
        return -1;
    }
    std::vector<qds::monitor::MonitorEntry> entries;
    if (!search(*monitor, entries, reason)) {
        dropConnection(*monitor);
        setError(error, error_size, reason);
        return -1;
    }
    *sample = qds::monitor::sampleOfEntries(entries);
    return 0;
}

unsigned long long dirmon_own_binds(const Dirmon* monitor) { return monitor ? monitor->ownBinds.load() : 0; }

void dirmon_close(Dirmon* monitor) {
    if (!monitor) return;
    {
        const qds::SigpipeGuard guard;
        dropConnection(*monitor);
    }
    delete monitor;
}

}  // extern "C"
