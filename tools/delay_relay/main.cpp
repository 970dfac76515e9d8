// tarrow_delay_relay: forwards TCP connections and holds every chunk for a set time. The fleet
// script runs it on the directory host, because these kernels have no netem to delay packets.
#include "tools/delay_relay/relay_options.h"
#include "tools/delay_relay/relay_server.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

void installStopHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: poll() returns at once with EINTR
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tarrow::relay;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedRelayOptions parsed = parseRelayOptions(args);
    if (parsed.help) {
        std::fputs(parsed.message.c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "tarrow_delay_relay: %s\n", parsed.message.c_str());
        return 2;
    }
    const RelayOptions& o = *parsed.options;
    installStopHandlers();
    RelayServer server(o);
    std::string error;
    if (!server.open(error)) {
        std::fprintf(stderr, "tarrow_delay_relay: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "tarrow_delay_relay: listening on %s:%u, forwarding to %s:%u, holding each chunk %lld ms "
                 "toward it and %lld ms back\n",
                 o.listen.address.c_str(), static_cast<unsigned>(server.listenPort()),
                 o.target.address.c_str(), static_cast<unsigned>(o.target.port),
                 static_cast<long long>(o.delayMs), static_cast<long long>(o.returnDelayMs));
    server.run(stopRequested);
    const RelayCounts& n = server.counts();
    std::fprintf(stderr,
                 "tarrow_delay_relay: stopped; %llu connections, %llu could not reach the target, %llu bytes "
                 "forwarded, %llu bytes back\n",
                 static_cast<unsigned long long>(n.accepted), static_cast<unsigned long long>(n.targetFailed),
                 static_cast<unsigned long long>(n.bytesToTarget),
                 static_cast<unsigned long long>(n.bytesBack));
    return 0;
}
