// Recording double of qvdsapi: keeps handles and logins so that tests can see what a
// caller leaves open; talks to no server.
#define QV_BUILDING_LIBRARY
#include "qds/fake/fake_state.h"
#include "qds/include/qvdsapi.h"

#include <chrono>
#include <thread>

namespace {
std::string num(long long v) { return std::to_string(v); }
}  // namespace

extern "C" {

QV_API int32_t QVDSCreateContextHandle(uint32_t* handle) {
    const std::int32_t rc = qdsfake::onCall("QVDSCreateContextHandle", qdsfake::out(handle));
    if (rc != 0) return rc;
    if (!handle) return QV_ERR_BAD_ARGUMENT;
    *handle = qdsfake::createContext();
    return 0;
}

QV_API int32_t QVDSSetContext(uint32_t handle, int32_t key, const void* value) {
    return qdsfake::onCall(
        "QVDSSetContext", num(handle) + "," + num(key) + "," + qdsfake::text(static_cast<const char*>(value)));
}

QV_API int32_t QVDSGetContext(uint32_t handle, int32_t key, void* value) {
    const std::int32_t rc = qdsfake::onCall("QVDSGetContext",
                                            num(handle) + "," + num(key) + "," + qdsfake::out(value));
    if (rc != 0) return rc;
    if (!value) return QV_ERR_BAD_ARGUMENT;
    if (key != QV_CTX_CONNECTION) return QV_ERR_BAD_KEY;
    *static_cast<std::uint32_t*>(value) = qdsfake::connectionOf(handle);
    return 0;
}

QV_API int32_t QVDSLogin(uint32_t handle, int32_t options, const char* userName, const char* password,
                         int32_t reserved) {
    const std::int32_t rc = qdsfake::onCall("QVDSLogin",
                                            num(handle) + "," + num(options) + "," + qdsfake::text(userName) +
                                                "," + qdsfake::text(password) + "," + num(reserved),
                                            userName ? userName : "");
    if (const std::uint32_t us = qdsfake::loginDelayUs())
        std::this_thread::sleep_for(std::chrono::microseconds(us));
    qdsfake::timeLogin(qdsfake::serveLogin());
    if (rc == 0) qdsfake::beginLogin(handle);
    return rc;
}

QV_API int32_t QVDSAuthenticateConn(uint32_t handle, uint32_t connHandle) {
    const std::int32_t rc = qdsfake::onCall("QVDSAuthenticateConn", num(handle) + "," + num(connHandle));
    qdsfake::timeVerify();
    return rc;
}

QV_API int32_t QVDSLogout(uint32_t handle) {
    const std::int32_t rc = qdsfake::onCall("QVDSLogout", num(handle));
    if (qdsfake::endLogin(handle)) qdsfake::timeUnbind();
    return rc;
}

QV_API int32_t QVDSFreeContext(uint32_t handle) {
    const std::int32_t rc = qdsfake::onCall("QVDSFreeContext", num(handle));
    if (qdsfake::freeContext(handle)) qdsfake::timeUnbind();
    return rc;
}

QV_API int32_t QVDSTakeLoginTimings(QVLoginTimings* timings) {
    if (!timings) return QV_ERR_BAD_ARGUMENT;
    *timings = qdsfake::takeLoginTimings();
    return 0;
}

QV_API int32_t QVDSSetLoginTiming(int32_t on) {
    qdsfake::setLoginTiming(on != 0);
    return 0;
}

}  // extern "C"
