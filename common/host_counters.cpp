#include "common/host_counters.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace tarrow {

const HostCounterName kHostCounters[6] = {
    {"tcp_syn_retransmits", "TcpExt", "TCPSynRetrans"},
    {"listen_overflows", "TcpExt", "ListenOverflows"},
    {"listen_drops", "TcpExt", "ListenDrops"},
    {"tcp_retransmitted_segments", "Tcp", "RetransSegs"},
    {"tcp_failed_connection_attempts", "Tcp", "AttemptFails"},
    {"tcp_resets_sent", "Tcp", "OutRsts"},
};

namespace {

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Both files hold pairs of lines: "Table: Name Name ..." then "Table: value value ...".
bool readPairs(const std::filesystem::path& file, HostCounters& into) {
    std::ifstream in(file);
    if (!in) return false;
    std::string names, values;
    while (std::getline(in, names) && std::getline(in, values)) {
        const auto n = words(names), v = words(values);
        if (n.empty() || v.empty() || n.size() != v.size() || n[0] != v[0] || n[0].back() != ':') continue;
        const std::string table = n[0].substr(0, n[0].size() - 1);
        for (std::size_t i = 1; i < n.size(); ++i) {
            std::uint64_t value = 0;
            const auto [end, ec] = std::from_chars(v[i].data(), v[i].data() + v[i].size(), value);
            // Gauges such as Tcp MaxConn may be -1: they are no counters, and left out.
            if (ec == std::errc() && end == v[i].data() + v[i].size())
                into.values[table + "." + n[i]] = value;
        }
    }
    return true;
}

}  // namespace

HostCounters readHostCounters(const std::filesystem::path& procNet) {
    HostCounters c;
    const bool netstat = readPairs(procNet / "netstat", c);
    const bool snmp = readPairs(procNet / "snmp", c);
    c.readable = netstat && snmp;
    return c;
}

std::optional<std::uint64_t> counterGrowth(const HostCounters& start, const HostCounters& end,
                                           const HostCounterName& name) {
    const std::string key = std::string(name.table) + "." + name.counter;
    const auto a = start.values.find(key), b = end.values.find(key);
    if (a == start.values.end() || b == end.values.end()) return std::nullopt;
    // A counter that went back (a namespace change, a wrap) tells nothing.
    if (b->second < a->second) return std::nullopt;
    return b->second - a->second;
}

}  // namespace tarrow
