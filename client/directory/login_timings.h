// The phases of a login as the directory libraries measured them (QVDSTakeLoginTimings).
#pragma once

#include "common/login_phases.h"

namespace tarrow {

// What the directory libraries measured on this thread since the last call, and clears
// it. Empty when the libraries in use have no timing (libraries without the call).
PhaseTimings takePhaseTimings();

// Turns the libraries' timing on or off for the process (on by default).
void setPhaseTiming(bool on);

}  // namespace tarrow
