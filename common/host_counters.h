// What a run sees of its own machine's TCP stack: counters of /proc/net/netstat and
// /proc/net/snmp read at the start and at the end, so that a tail caused by the load
// generator or the network (SYNs retransmitted, a full listen queue) is told from one
// caused by the directory. Counters are those of the network namespace the run is in.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace tarrow {

// The counters a report shows, by their key in the report, with where they come from.
struct HostCounterName {
    const char* key;      // "tcp_syn_retransmits"
    const char* table;    // "TcpExt" (netstat) or "Tcp" (snmp)
    const char* counter;  // "TCPSynRetrans"
};
// tcp_syn_retransmits (TcpExt TCPSynRetrans), listen_overflows (TcpExt ListenOverflows),
// listen_drops (TcpExt ListenDrops), tcp_retransmitted_segments (Tcp RetransSegs),
// tcp_failed_connection_attempts (Tcp AttemptFails), tcp_resets_sent (Tcp OutRsts).
extern const HostCounterName kHostCounters[6];

// One reading: every counter of the two files, "Table.Counter" -> value.
struct HostCounters {
    std::map<std::string, std::uint64_t> values;
    bool readable = false;  // both files were read
};

// Reads procNet/netstat and procNet/snmp ("/proc/net" by default).
HostCounters readHostCounters(const std::filesystem::path& procNet = "/proc/net");

// How much a counter of kHostCounters grew from start to end; nothing when a reading
// lacks it.
std::optional<std::uint64_t> counterGrowth(const HostCounters& start, const HostCounters& end,
                                           const HostCounterName& name);

}  // namespace tarrow
