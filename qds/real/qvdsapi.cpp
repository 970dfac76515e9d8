// qvdsapi: contexts, and the login over LDAP that they hold.
#define QV_BUILDING_LIBRARY
#include "qds/include/qvdsapi.h"
#include "qds/include/qvintlapi.h"
#include "qds/real/directory_names.h"
#include "qds/real/ldap_session.h"
#include "qds/real/login_timing.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace {

struct Context {
    std::string name;  // key 3, in the code page of the Unicode tables
    std::string tree;  // key 11
    std::unique_ptr<qds::LdapSession> session;
    std::uint32_t connection = 0;  // key 8; 0 while there is no login
    std::string boundDn;
};

// A context is used by one thread at a time; the table itself may be shared.
struct Registry {
    std::mutex mutex;
    std::map<std::uint32_t, std::shared_ptr<Context>> contexts;
    std::uint32_t lastContext = 0;
    std::uint32_t lastConnection = 0;
};

Registry& registry() {
    static Registry r;
    return r;
}

std::shared_ptr<Context> find(std::uint32_t handle) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto it = r.contexts.find(handle);
    return it == r.contexts.end() ? nullptr : it->second;
}

std::uint32_t nextNonZero(std::uint32_t& counter) {
    if (++counter == 0) ++counter;
    return counter;
}

void endLogin(Context& c) {
    if (c.session) {
        qds::PhaseTimer unbind(QV_PHASE_UNBIND);
        c.session->unbind();
    }
    c.session.reset();
    c.connection = 0;
    c.boundDn.clear();
}

// Converts a text of the current code page to UTF-8 for the wire.
std::int32_t toUtf8(const std::string& text, std::string& out) {
    std::string buffer(text.size() * 3 + 1, '\0');
    const std::int32_t rc = QVLocalToUTF8(text.c_str(), buffer.data(), buffer.size());
    if (rc == QV_OK) out.assign(buffer.c_str());
    return rc;
}

template <typename F>
std::int32_t guarded(F&& f) {
    // No exception may leave the C interface.
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return QV_ERR_OUT_OF_MEMORY;
    } catch (...) {
        return QV_ERR_PROTOCOL;
    }
}

std::int32_t login(Context& c, const char* userName, const char* password) {
    qds::beginLoginTiming();
    if (c.tree.empty()) return QV_ERR_NO_TREE;
    std::string user, pass, contextName;
    for (auto [in, out] : {std::pair{std::string(userName), &user}, std::pair{std::string(password), &pass},
                           std::pair{c.name, &contextName}}) {
        if (const std::int32_t rc = toUtf8(in, *out); rc != QV_OK) return rc;
    }
    const auto url = qds::treeToUrl(c.tree);
    const auto base = qds::contextToDn(contextName);
    if (!url || !base || user.empty()) return QV_ERR_BAD_NAME;
    // An empty password would make an unauthenticated bind, which servers accept.
    if (pass.empty()) return QV_ERR_INVALID_CREDENTIALS;

    endLogin(c);
    const std::string dn = qds::userDn(user, *base);
    auto session = std::make_unique<qds::LdapSession>(*url, qds::timeoutsFromEnvironment(),
                                                      qds::startTlsFromEnvironment());
    if (session->status() != QV_OK) return session->status();
    if (const std::int32_t rc = session->simpleBind(dn, *base, pass); rc != QV_OK) return rc;

    c.session = std::move(session);
    c.boundDn = dn;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    c.connection = nextNonZero(r.lastConnection);
    return QV_OK;
}

}  // namespace

extern "C" {

QV_API int32_t QVDSCreateContextHandle(uint32_t* handle) {
    if (!handle) return QV_ERR_BAD_ARGUMENT;
    return guarded([&] {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        std::uint32_t h = nextNonZero(r.lastContext);
        while (r.contexts.count(h)) h = nextNonZero(r.lastContext);
        r.contexts.emplace(h, std::make_shared<Context>());
        *handle = h;
        return QV_OK;
    });
}

QV_API int32_t QVDSSetContext(uint32_t handle, int32_t key, const void* value) {
    if (!value) return QV_ERR_BAD_ARGUMENT;
    return guarded([&] {
        const auto c = find(handle);
        if (!c) return QV_ERR_BAD_HANDLE;
        const std::string text(static_cast<const char*>(value));
        if (key == QV_CTX_NAME) {
            if (!qds::contextToDn(text)) return QV_ERR_BAD_NAME;
            c->name = text;
        } else if (key == QV_CTX_TREE) {
            c->tree = text;
        } else {
            return QV_ERR_BAD_KEY;
        }
        return QV_OK;
    });
}

QV_API int32_t QVDSGetContext(uint32_t handle, int32_t key, void* value) {
    if (!value) return QV_ERR_BAD_ARGUMENT;
    const auto c = find(handle);
    if (!c) return QV_ERR_BAD_HANDLE;
    if (key != QV_CTX_CONNECTION) return QV_ERR_BAD_KEY;
    if (c->connection == 0) return QV_ERR_NOT_LOGGED_IN;
    *static_cast<std::uint32_t*>(value) = c->connection;
    return QV_OK;
}

QV_API int32_t QVDSLogin(uint32_t handle, int32_t options, const char* userName, const char* password,
                         int32_t reserved) {
    if (options != 0 || reserved != 0 || !userName || !password) return QV_ERR_BAD_ARGUMENT;
    return guarded([&] {
        const auto c = find(handle);
        return c ? login(*c, userName, password) : QV_ERR_BAD_HANDLE;
    });
}

QV_API int32_t QVDSAuthenticateConn(uint32_t handle, uint32_t connHandle) {
    return guarded([&] {
        const auto c = find(handle);
        if (!c) return QV_ERR_BAD_HANDLE;
        if (c->connection == 0) return QV_ERR_NOT_LOGGED_IN;
        if (connHandle != c->connection) return QV_ERR_BAD_HANDLE;
        std::string authzId;
        if (const std::int32_t rc = c->session->whoAmI(authzId); rc != QV_OK) return rc;
        if (authzId.rfind("dn:", 0) != 0 || !qds::sameDn(authzId.substr(3), c->boundDn))
            return QV_ERR_IDENTITY_MISMATCH;
        return QV_OK;
    });
}

QV_API int32_t QVDSLogout(uint32_t handle) {
    return guarded([&] {
        const auto c = find(handle);
        if (!c) return QV_ERR_BAD_HANDLE;
        if (c->connection == 0) return QV_ERR_NOT_LOGGED_IN;
        endLogin(*c);
        return QV_OK;
    });
}

QV_API int32_t QVDSTakeLoginTimings(QVLoginTimings* timings) {
    if (!timings) return QV_ERR_BAD_ARGUMENT;
    *timings = qds::takeLoginTimings();
    return QV_OK;
}

QV_API int32_t QVDSSetLoginTiming(int32_t on) {
    qds::setLoginTimingOn(on != 0);
    return QV_OK;
}

QV_API int32_t QVDSFreeContext(uint32_t handle) {
    return guarded([&] {
        std::shared_ptr<Context> c;
        {
            Registry& r = registry();
            std::lock_guard lock(r.mutex);
            const auto it = r.contexts.find(handle);
            if (it == r.contexts.end()) return QV_ERR_BAD_HANDLE;
            c = std::move(it->second);
            r.contexts.erase(it);
        }
        endLogin(*c);
        return QV_OK;
    });
}

}  // extern "C"
