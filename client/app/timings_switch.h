// The switch that turns the client's timings extension off without a rebuild: the
// environment variable TARROW_TIMINGS=off (TarrowCli also has --no-timings). The window
// takes no arguments, so the environment is its only switch.
#pragma once

namespace tarrow {

// False when TARROW_TIMINGS is "off" (any letter case) or "0"; true otherwise.
bool timingsOfferedByEnvironment();

}  // namespace tarrow
