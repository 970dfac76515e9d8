// The client's settings from its INI file, with their defaults.
#pragma once

#include <cstdint>
#include <string>

namespace tarrow {

// Default broadcast address: the loopback network's directed broadcast, so that an
// unconfigured client never announces itself beyond this machine.
inline constexpr const char* kDefaultLocalBroadcast = "127.255.255.255";

struct ClientSettings {
    std::string localBroadcast = kDefaultLocalBroadcast;  // "Local Broadcast": discovery target
    std::string workloadUsersFile = "users.dat";          // "WorkloadUsersFile": batch-run input
    std::string performWorkloadAsUser = "admin,73519,Performance,Test,Server";  // held, unused
    std::int32_t numWorkloads = 0;  // "NumWorkloads": held, unused
    bool batchWorkloads = false;    // "BatchWorkloads": held, unused
    std::int32_t maxDelay = 120;    // "MaxDelay": seconds, event delay bound
};

// Reads section "General" of the file, key by key in their documented order; a missing
// file, section or key, or a value that does not convert, gives the default.
ClientSettings readClientSettings(const std::string& iniPath);

// The client's INI file name: the program path with its extension replaced by ".INI". When
// that exact file is absent, a file in the same folder whose name matches it without regard
// to letter case is taken (so a generated "Tarrow.ini" is found).
std::string clientIniPath(const std::string& programPath);

}  // namespace tarrow
