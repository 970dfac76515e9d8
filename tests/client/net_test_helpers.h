// Shared steps of the controller-link tests: a form in virtual time, connected to a
// controller on loopback through the scripted transport.
#pragma once

#include <string>

#include "qds/fake/qdsfake.h"
#include "tests/support/form_harness.h"

namespace tarrow {

inline constexpr const char* kControllerIp = "127.0.0.1";

// The controller answers discovery and the connection comes up.
inline void connectController(FormHarness& h, const std::string& ip = kControllerIp) {
    h.sktInput.inject("DISCOVER", ip);
    h.tcp.peerAddressText = ip;
    h.tcp.raiseConnected();
}

// Log lines from index from on.
inline std::vector<std::string> logSince(const FormHarness& h, std::size_t from) {
    const auto& lines = h.log();
    return {lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end()};
}

}  // namespace tarrow
