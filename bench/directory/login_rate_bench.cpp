// Logins per second of DSUser::execute against a private slapd, beside the same work
// done straight on libldap in the same run. Usage: login_rate_bench [LOGINS] [ROUNDS]
#include "bench/directory/ldap_reference_loop.h"
#include "client/directory/DSUser.h"
#include "tests/slapd/private_slapd.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Rate {
    long logins = 0;     // completed logins
    double seconds = 0;  // wall time spent on them
    double perSecond() const { return seconds > 0 ? static_cast<double>(logins) / seconds : 0; }
};

long dsuserLogins(DSUser& user, long n) {
    long ok = 0;
    for (long i = 0; i < n; ++i) {
        try {
            if (user.execute() == 1) ++ok;
        } catch (const DSUser::DSError& e) {
            std::fprintf(stderr, "login failed: %s\n", e.message.c_str());
        }
    }
    return ok;
}

template <typename F>
void timed(Rate& rate, F&& run) {
    const auto start = Clock::now();
    rate.logins += run();
    rate.seconds += std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const long logins = argc > 1 ? std::atol(argv[1]) : 4000;
    const long rounds = argc > 2 ? std::atol(argv[2]) : 20;
    if (logins <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: %s [LOGINS>0] [ROUNDS>0]\n", argv[0]);
        return 2;
    }
    ::setenv("LANG", "C", 1);
    tarrow::test::PrivateSlapd server(std::vector<tarrow::test::SeedUser>{{"bench", "secret"}});
    const std::string dn = std::string("cn=bench,") + tarrow::test::PrivateSlapd::kBaseDn;

    DSUser user;
    user.userName = "bench";
    user.password = "secret";
    user.tree = server.tree();
    user.context = tarrow::test::PrivateSlapd::kContext;

    // Warm both paths up, then alternate rounds so that drift hits both alike.
    dsuserLogins(user, 50);
    ldapReferenceLogins(server.url().c_str(), dn.c_str(), "secret", 50);
    Rate ours, reference;
    const long perRound = logins / rounds > 0 ? logins / rounds : 1;
    std::vector<double> roundRatios;
    for (long r = 0; r < rounds; ++r) {
        Rate oursRound, referenceRound;
        timed(oursRound, [&] { return dsuserLogins(user, perRound); });
        timed(referenceRound, [&] { return ldapReferenceLogins(server.url().c_str(), dn.c_str(), "secret", perRound); });
        ours.logins += oursRound.logins;
        ours.seconds += oursRound.seconds;
        reference.logins += referenceRound.logins;
        reference.seconds += referenceRound.seconds;
        if (referenceRound.perSecond() > 0) roundRatios.push_back(oursRound.perSecond() / referenceRound.perSecond());
    }
    // On a busy machine single rounds stray; the median of the paired rounds is steadier.
    std::sort(roundRatios.begin(), roundRatios.end());
    const double medianRatio = roundRatios.empty() ? 0 : roundRatios[roundRatios.size() / 2];
    user.logout();

    std::printf("logins per second against slapd on %s (%ld rounds of %ld)\n", server.tree().c_str(), rounds, perRound);
    std::printf("  DSUser::execute : %10.1f /s  (%ld logins, %.3f s)\n", ours.perSecond(), ours.logins, ours.seconds);
    std::printf("  libldap loop    : %10.1f /s  (%ld logins, %.3f s)\n", reference.perSecond(), reference.logins, reference.seconds);
    const double ratio = reference.perSecond() > 0 ? ours.perSecond() / reference.perSecond() : 0;
    std::printf("  ratio           : %10.3f  (target >= 0.9)\n", ratio);
    std::printf("  median of rounds: %10.3f\n", medianRatio);
    return ours.logins == perRound * rounds && reference.logins == perRound * rounds ? 0 : 1;
}
