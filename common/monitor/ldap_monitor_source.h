// The production MonitorSource: the LDAP reader of qds/monitor, and the one way both
// programs turn --monitor and --monitor-bind into a running sampler.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/monitor/monitor_sampler.h"

namespace tarrow::monitor {

// The monitor's waits: connecting, and each answer. A reading that overruns its second
// skips the seconds it missed.
constexpr int kMonitorConnectTimeoutMs = 2000;
constexpr int kMonitorOpTimeoutMs = 3000;

// The environment variable that holds the monitor bind's password (never an option, so
// that it stays out of process listings).
constexpr const char* kMonitorPasswordVariable = "TARROW_MONITOR_PASSWORD";

// A sampler of the server at uri, bound as bindDn (anonymous when empty) with the password
// from TARROW_MONITOR_PASSWORD. A URI that is not one gives a sampler that has only the
// warning, so that the run goes on as with a server that cannot be read.
std::unique_ptr<MonitorSampler> makeLdapSampler(const std::string& uri, const std::string& bindDn,
                                                std::function<std::int64_t()> monotonicUs,
                                                std::function<void(const std::string&)> warn);

}  // namespace tarrow::monitor
