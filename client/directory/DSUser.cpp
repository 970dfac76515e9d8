#include "client/directory/DSUser.h"

#include "common/credential_line.h"
#include "client/directory/credential_buffer.h"
#include "qds/include/qvconnapi.h"
#include "qds/include/qvdsapi.h"
#include "qds/include/qvintlapi.h"

#include <cstddef>
#include <cstring>

namespace {

constexpr std::int32_t kCompleted = 1;
constexpr std::int32_t kNoSuchFunction = -9999;
constexpr std::int32_t kNoSuchVendor = -10000;

constexpr std::uint8_t kVendorQds = 1;
constexpr std::uint8_t kFunctionLogin = 1;
constexpr std::uint8_t kFunctionLogout = 2;

// The two values the login reads from the locale record, at fixed byte offsets.
constexpr std::size_t kCountryCodeOffset = 56;
constexpr std::size_t kCodePageOffset = 60;
static_assert(offsetof(QVLocaleRecord, countryCode) == kCountryCodeOffset);
static_assert(offsetof(QVLocaleRecord, codePage) == kCodePageOffset);

std::int32_t readInt32At(const QVLocaleRecord& record, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof value);
    return value;
}

[[noreturn]] void throwCallFailed(const char* text, std::int32_t code) {
    throw DSUser::DSError(std::string(text) + std::to_string(code));
}

}  // namespace

DSUser::DSUser()
    : version("1.0.01"),
      authenticated(false),
      loggedIn(false),
      vendor(kVendorQds),
      function(kFunctionLogin),
      contextHandle(0),
      connHandle(0) {}

DSUser::~DSUser() {
    if (loggedIn) logout();
}

void DSUser::setUserInfo(const char* line) {
    const auto fields = tarrow::splitCredentialLine(line ? std::string_view(line) : std::string_view());
    if (fields.size() < 5) throw DSError("setUserInfo() - Insufficient data");
    userName = fields[0];
    password = fields[1];
    tree = fields[2];
    context = fields[3];
    server = fields[4];
}

std::int32_t DSUser::execute() {
    if (function == kFunctionLogin) return login();
    if (function == kFunctionLogout) return logout();
    return kNoSuchFunction;
}

std::int32_t DSUser::login() { return vendor == kVendorQds ? qdsLogin() : kNoSuchVendor; }

std::int32_t DSUser::logout() { return vendor == kVendorQds ? qdsLogout() : kNoSuchVendor; }

std::int32_t DSUser::qdsLogin() {
    // Step 1: every text must fit its buffer whole; a text is never cut.
    tarrow::CredentialBuffer<49> userBuf("userName", userName);
    tarrow::CredentialBuffer<80> passwordBuf("password", password);
    tarrow::CredentialBuffer<80> treeBuf("tree", tree);
    tarrow::CredentialBuffer<80> contextBuf("context", context);

    if (loggedIn) logout();

    std::int32_t rc = QVCallsInit(0, 0);
    if (rc != 0) throwCallFailed("QVCallsInit returned ", rc);

    QVLocaleRecord locale{};
    QVGetLocaleInfo(&locale);
    rc = QVInitUnicodeTables(readInt32At(locale, kCodePageOffset), readInt32At(locale, kCountryCodeOffset));
    if (rc != 0) throwCallFailed("QVInitUnicodeTables returned ", rc);

    rc = QVDSCreateContextHandle(&contextHandle);
    if (rc != 0) {
        QVFreeUnicodeTables();
        throwCallFailed("QVDSCreateContextHandle returned ", rc);
    }

    rc = QVDSSetContext(contextHandle, QV_CTX_NAME, contextBuf.data());
    if (rc == 0) rc = QVDSSetContext(contextHandle, QV_CTX_TREE, treeBuf.data());
    if (rc != 0) {
        // The context exists by now: release it too, or every such failure leaks one.
        releaseContextAndTables();
        throwCallFailed("QVDSSetContext returned ", rc);
    }

    rc = QVDSLogin(contextHandle, 0, userBuf.data(), passwordBuf.data(), 0);
    if (rc != 0) {
        releaseContextAndTables();
        throwCallFailed("QVDSLogin returned ", rc);
    }
    loggedIn = true;

    rc = QVDSGetContext(contextHandle, QV_CTX_CONNECTION, &connHandle);
    if (rc != 0) {
        endFailedLogin();
        throwCallFailed("QVSDGetContext returned ", rc);
    }

    rc = QVDSAuthenticateConn(contextHandle, connHandle);
    if (rc != 0) {
        endFailedLogin();
        throwCallFailed("QVDSAuthenticateConn returned ", rc);
    }

    authenticated = true;
    return kCompleted;
}

std::int32_t DSUser::qdsLogout() {
    // Without a login there is no context to act on: its handle is stale or unset.
    if (!loggedIn) return kCompleted;
    QVDSLogout(contextHandle);
    releaseContextAndTables();
    loggedIn = false;
    authenticated = false;
    return kCompleted;
}

void DSUser::releaseContextAndTables() {
    QVDSFreeContext(contextHandle);
    QVFreeUnicodeTables();
}

void DSUser::endFailedLogin() {
    // The login call succeeded: end it before its context goes, so that no connection
    // stays bound, and return to Idle so that nothing acts on the released handle.
    QVDSLogout(contextHandle);
    releaseContextAndTables();
    loggedIn = false;
    authenticated = false;
}
