#include "qds/real/timeouts.h"

#include <cstdlib>
#include <initializer_list>

#include <strings.h>

namespace qds {
namespace {

int millisecondsFrom(const char* variable, int fallback) {
    const char* v = std::getenv(variable);
    if (!v || !*v) return fallback;
    char* end = nullptr;
    const long ms = std::strtol(v, &end, 10);
    return (*end == '\0' && ms >= 1 && ms <= 600000) ? static_cast<int>(ms) : fallback;
}

}  // namespace

Timeouts timeoutsFromEnvironment() {
    Timeouts t;
    t.connectMs = millisecondsFrom("QDS_CONNECT_TIMEOUT_MS", t.connectMs);
    t.operationMs = millisecondsFrom("QDS_OP_TIMEOUT_MS", t.operationMs);
    return t;
}

bool startTlsFromEnvironment() {
    const char* v = std::getenv("QDS_STARTTLS");
    if (!v) return false;
    for (const char* on : {"1", "yes", "on", "true"})
        if (strcasecmp(v, on) == 0) return true;
    return false;
}

}  // namespace qds
