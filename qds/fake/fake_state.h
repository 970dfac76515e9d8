// What the three fake libraries share: the recording, the injected failures and the
// resources callers hold. Lives in libqdsfake.so.
#pragma once

#include "qds/fake/qdsfake.h"

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
QDSFAKE_API void freeContext(std::uint32_t handle);
QDSFAKE_API void beginLogin(std::uint32_t handle);
QDSFAKE_API bool endLogin(std::uint32_t handle);
QDSFAKE_API void initUnicodeTables();
QDSFAKE_API void freeUnicodeTables();
QDSFAKE_API std::uint32_t loginDelayUs();
// The connection handle (key 8) of a context.
QDSFAKE_API std::uint32_t connectionOf(std::uint32_t handle);

// Argument formatting of the recording.
inline std::string text(const char* s) { return s ? std::string(s) : std::string("NULL"); }
inline std::string out(const void* p) { return p ? "&" : "NULL"; }

}  // namespace qdsfake
