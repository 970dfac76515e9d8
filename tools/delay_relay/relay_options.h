// Settings of tarrow_delay_relay, built by one parse function from the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarrow::relay {

struct Endpoint {
    std::string address;     // dotted IPv4 address
    std::uint16_t port = 0;  // 0 only for --listen: a free port, printed at start
};

struct RelayOptions {
    Endpoint listen;                         // where clients connect
    Endpoint target;                         // where every connection is forwarded
    std::int64_t delayMs = 0;                // hold of each chunk on the way to the target
    std::int64_t returnDelayMs = 0;          // hold of each chunk on the way back
    std::size_t maxConnections = 1024;       // further clients wait in the listen queue
    std::size_t maxQueuedBytes = 64 * 1024;  // per direction; reading pauses above it
    std::int64_t connectTimeoutMs = 3000;    // bound of the connect to the target
};

struct ParsedRelayOptions {
    std::optional<RelayOptions> options;  // empty on an error or for --help
    std::string message;                  // the error, or the help text
    bool help = false;
};

ParsedRelayOptions parseRelayOptions(const std::vector<std::string>& args);

// "ADDR:PORT" with a dotted IPv4 address; empty on anything else.
std::optional<Endpoint> parseEndpoint(const std::string& text, bool portZeroAllowed);

}  // namespace tarrow::relay
