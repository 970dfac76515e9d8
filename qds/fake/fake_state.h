// What the three fake libraries share: the recording, the injected failures and the
// resources callers hold. Lives in libqdsfake.so.
#pragma once

#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"

#include <cstdint>
#include <string>

namespace qdsfake {

// Records one call (when recording is on) and returns the code injected for it, or 0.
// userName is given for QVDSLogin only.
QDSFAKE_API std::int32_t onCall(const char* operation, const std::string& arguments,
                                const char* userName = nullptr);

// Resource bookkeeping, called after a call succeeded.
QDSFAKE_API std::uint32_t createContext();
QDSFAKE_API bool contextExists(std::uint32_t handle);
// True when the context held a login, which releasing it ends.
QDSFAKE_API bool freeContext(std::uint32_t handle);
QDSFAKE_API void beginLogin(std::uint32_t handle);
QDSFAKE_API bool endLogin(std::uint32_t handle);
QDSFAKE_API void initUnicodeTables();
QDSFAKE_API void freeUnicodeTables();
QDSFAKE_API std::uint32_t loginDelayUs();
// With servers set: queues the login for a server and waits until it has been served.
// Returns how long that took in microseconds (0 without servers).
QDSFAKE_API std::int64_t serveLogin();
// The connection handle (key 8) of a context.
QDSFAKE_API std::uint32_t connectionOf(std::uint32_t handle);

// Login timing with virtual figures: a login reports connect (and TLS when set) and its
// login delay and the time it was served (serveLogin) as bind; the confirmation reports
// verify, a log-out unbind.
QDSFAKE_API void timeLogin(std::int64_t servedUs);
QDSFAKE_API void timeVerify();
QDSFAKE_API void timeUnbind();
QDSFAKE_API QVLoginTimings takeLoginTimings();
QDSFAKE_API void setLoginTiming(bool on);

// Argument formatting of the recording.
inline std::string text(const char* s) { return s ? std::string(s) : std::string("NULL"); }
inline std::string out(const void* p) { return p ? "&" : "NULL"; }

}  // namespace qdsfake
