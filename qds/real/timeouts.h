// The time-outs of the network calls, changeable without rebuilding.
#pragma once

namespace qds {

struct Timeouts {
    int connectMs = 3000;  // establishing the TCP (and TLS) connection
    int operationMs = 5000;  // waiting for the answer to one request
};

// Defaults overridden by QDS_CONNECT_TIMEOUT_MS and QDS_OP_TIMEOUT_MS (1 to 600000);
// other values keep the default. Read on every login, so a running program follows.
Timeouts timeoutsFromEnvironment();

}  // namespace qds
