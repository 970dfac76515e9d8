// The time-outs of the network calls, changeable without rebuilding.
#pragma once

namespace qds {

struct Timeouts {
    int connectMs = 3000;    // establishing the TCP connection, and its TLS handshake
    int operationMs = 5000;  // waiting for the answer to one request
};

// Defaults overridden by QDS_CONNECT_TIMEOUT_MS and QDS_OP_TIMEOUT_MS (1 to 600000);
// other values keep the default. Read on every login, so a running program follows.
Timeouts timeoutsFromEnvironment();

// Whether a login over an ldap:// tree asks the server for StartTLS before the bind:
// QDS_STARTTLS=1 (or yes, on, true, in any letter case). Unset, empty, 0 or anything
// else: no StartTLS. An ldaps:// tree has TLS from the start and ignores it. Read on
// every login too.
bool startTlsFromEnvironment();

}  // namespace qds
