#include "client/directory/login_timings.h"

#include "qds/include/qvdsapi.h"

// Weak: a program also runs against directory libraries that do not have the timing
// calls; then no phase is reported.
#pragma weak QVDSTakeLoginTimings
#pragma weak QVDSSetLoginTiming

namespace tarrow {

static_assert(QV_PHASE_COUNT == kLoginPhaseCount);
static_assert(QV_PHASE_CONNECT == static_cast<int>(LoginPhase::Connect));
static_assert(QV_PHASE_TLS == static_cast<int>(LoginPhase::Tls));
static_assert(QV_PHASE_BIND == static_cast<int>(LoginPhase::Bind));
static_assert(QV_PHASE_VERIFY == static_cast<int>(LoginPhase::Verify));
static_assert(QV_PHASE_UNBIND == static_cast<int>(LoginPhase::Unbind));

PhaseTimings takePhaseTimings() {
    PhaseTimings out;
    if (!QVDSTakeLoginTimings) return out;
    QVLoginTimings t{};
    if (QVDSTakeLoginTimings(&t) != QV_OK) return out;
    out.reached = t.reached & ((1u << kLoginPhaseCount) - 1);
    for (int p = 0; p < kLoginPhaseCount; ++p) out.us[static_cast<std::size_t>(p)] = out.has(p) ? t.us[p] : 0;
    return out;
}

void setPhaseTiming(bool on) {
    if (QVDSSetLoginTiming) QVDSSetLoginTiming(on ? 1 : 0);
}

}  // namespace tarrow
