// Decides which discovery datagrams are answered: exactly the 8 bytes "DISCOVER", and each
// sending socket (address and port: several clients may share a host) at most once per second, so that a flood (or a forged sender) cannot turn the
// controller into a flood of answers. Memory is bounded by maxSenders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tarrow::ctrl {

// True only for the 8 bytes "DISCOVER": nothing before, after or in other letter case.
bool isDiscoverDatagram(std::string_view bytes);

class DiscoveryGate {
public:
    explicit DiscoveryGate(std::size_t maxSenders = 4096) : maxSenders_(maxSenders) {}
    // True when the datagram from sender ("address:port") is to be answered now.
    bool shouldAnswer(std::string_view bytes, const std::string& sender, std::int64_t nowUs);

private:
    std::size_t maxSenders_;
    std::int64_t windowStartUs_ = 0;
    bool windowOpen_ = false;
    std::unordered_set<std::string> answeredInWindow_;
};

}  // namespace tarrow::ctrl
