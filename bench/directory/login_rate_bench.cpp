// Logins per second of DSUser::execute against a private slapd, beside the same work done
// straight on libldap in the same run, and the cost of timing every login: blocks with
// the phases recorded (the libraries' timing on, the caller taking the phases and timing
// execute, as a batch run does) alternate with blocks without (timing off).
// Each of the three modes runs: plain ldap://, StartTLS, and ldaps://.
//   login_rate_bench [LOGINS] [BLOCK]   (defaults 20,000 logins each way in blocks of 20;
//                                        the TLS modes a fifth of the logins)
#include "bench/directory/ldap_reference_loop.h"
#include "client/directory/DSUser.h"
#include "client/directory/login_timings.h"
#include "tests/slapd/private_slapd.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
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
    void add(const Rate& r) {
        logins += r.logins;
        seconds += r.seconds;
    }
};

// Per-login figures of the rounds with timing: execute and each phase, microseconds.
struct Samples {
    std::vector<std::int64_t> execute;
    std::array<std::vector<std::int64_t>, tarrow::kLoginPhaseCount> phases;
};

long dsuserLogins(DSUser& user, long n, Samples* samples) {
    long ok = 0;
    for (long i = 0; i < n; ++i) {
        const auto start = samples ? Clock::now() : Clock::time_point{};
        try {
            if (user.execute() == 1) ++ok;
        } catch (const DSUser::DSError& e) {
            std::fprintf(stderr, "login failed: %s\n", e.message.c_str());
        }
        if (!samples) continue;
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        const tarrow::PhaseTimings t = tarrow::takePhaseTimings();
        samples->execute.push_back(us);
        for (int p = 0; p < tarrow::kLoginPhaseCount; ++p)
            if (t.has(p))
                samples->phases[static_cast<std::size_t>(p)].push_back(t.us[static_cast<std::size_t>(p)]);
    }
    return ok;
}

template <typename F>
Rate timed(F&& run) {
    const auto start = Clock::now();
    Rate r;
    r.logins = run();
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The q-quantile as the reports define it: the ceil(q * n)-th smallest value.
long long quantile(std::vector<std::int64_t> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(q * static_cast<double>(v.size())));
    return static_cast<long long>(v[std::max<std::size_t>(rank, 1) - 1]);
}

struct Mode {
    const char* name;
    std::string tree;  // what DSUser is given
    std::string url;   // what the reference loop is given
    bool startTls;
};

// What timing costs by itself per login, measured apart from any server: the clock
// reads of the five phases in the libraries and of execute in the caller, and the take.
double timingWorkNs() {
    constexpr int kLoops = 200'000;
    const auto start = Clock::now();
    std::int64_t sink = 0;
    for (int i = 0; i < kLoops; ++i) {
        for (int r = 0; r < 2 * tarrow::kLoginPhaseCount + 2; ++r)
            sink += Clock::now().time_since_epoch().count();
        sink += tarrow::takePhaseTimings().reached;
    }
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kLoops;
    return sink == 42 ? ns + 1e-9 : ns;  // keeps the loop
}

bool runMode(const Mode& mode, const std::string& dn, long logins, long blockSize) {
    if (mode.startTls) ::setenv("QDS_STARTTLS", "1", 1);
    else
        ::unsetenv("QDS_STARTTLS");
    DSUser user;
    user.userName = "bench";
    user.password = "secret";
    user.tree = mode.tree;
    user.context = tarrow::test::PrivateSlapd::kContext;

    // Warm every path up, then alternate small blocks of logins with timing and without,
    // swapping their order every pair so that drift hits both alike, and a block of the
    // reference after each pair.
    dsuserLogins(user, 50, nullptr);
    ldapReferenceLoginsTimed(mode.url.c_str(), dn.c_str(), "secret", 50, mode.startTls, nullptr);
    const long pairs = std::max(logins / blockSize, 1L);
    Rate on, off, reference;
    std::vector<double> pairRatios, referenceRatios;  // per pair: time off / time on, reference / on
    Samples samples;
    std::vector<long long> referenceUs;
    for (long b = 0; b < pairs; ++b) {
        Rate onBlock, offBlock;
        const auto runOn = [&] {
            tarrow::setPhaseTiming(true);
            onBlock = timed([&] { return dsuserLogins(user, blockSize, &samples); });
        };
        const auto runOff = [&] {
            tarrow::setPhaseTiming(false);
            offBlock = timed([&] { return dsuserLogins(user, blockSize, nullptr); });
        };
        if (b % 2 == 0) {
            runOn();
            runOff();
        } else {
            runOff();
            runOn();
        }
        tarrow::setPhaseTiming(true);
        std::vector<long long> us(static_cast<std::size_t>(blockSize));
        const Rate refBlock = timed([&] {
            return ldapReferenceLoginsTimed(mode.url.c_str(), dn.c_str(), "secret", blockSize, mode.startTls,
                                            us.data());
        });
        referenceUs.insert(referenceUs.end(), us.begin(), us.end());
        on.add(onBlock);
        off.add(offBlock);
        reference.add(refBlock);
        pairRatios.push_back(offBlock.seconds / onBlock.seconds);
        referenceRatios.push_back(refBlock.seconds / onBlock.seconds);
    }
    user.logout();
    tarrow::takePhaseTimings();

    std::printf("%s: %s, %ld alternated pairs of blocks of %ld logins\n", mode.name, mode.tree.c_str(), pairs,
                blockSize);
    std::printf("  DSUser::execute, timing on : %9.1f /s  (%ld logins, %.3f s)\n", on.perSecond(), on.logins,
                on.seconds);
    std::printf("  DSUser::execute, timing off: %9.1f /s  (%ld logins, %.3f s)\n", off.perSecond(),
                off.logins, off.seconds);
    std::printf("  libldap loop               : %9.1f /s  (%ld logins, %.3f s)\n", reference.perSecond(),
                reference.logins, reference.seconds);
    const double onOff = off.perSecond() > 0 ? on.perSecond() / off.perSecond() : 0;
    const double medianCost = 1 - median(pairRatios);
    std::printf(
        "  cost of timing             : %9.2f %%  (median of the pairs; target <= 1 %%; all logins: on/off "
        "%.4f)\n",
        medianCost * 100, onOff);
    const double ratio = reference.perSecond() > 0 ? on.perSecond() / reference.perSecond() : 0;
    std::printf("  DSUser / libldap           : %9.3f  (median of the blocks %.3f%s)\n", ratio,
                median(referenceRatios),
                mode.startTls || mode.tree.rfind("ldaps", 0) == 0 ? "" : "; target >= 0.9");
    const std::vector<std::int64_t> reference64(referenceUs.begin(), referenceUs.end());
    std::printf("  us p50 / p90 / p99: execute %lld / %lld / %lld, libldap login %lld / %lld / %lld\n",
                quantile(samples.execute, 0.5), quantile(samples.execute, 0.9), quantile(samples.execute, 0.99),
                quantile(reference64, 0.5), quantile(reference64, 0.9), quantile(reference64, 0.99));
    std::printf("  phase p50 us:");
    for (int p = 0; p < tarrow::kLoginPhaseCount; ++p)
        if (!samples.phases[static_cast<std::size_t>(p)].empty())
            std::printf("  %s %lld", tarrow::loginPhaseName(p),
                        quantile(samples.phases[static_cast<std::size_t>(p)], 0.5));
    std::printf("\n");
    const double workNs = timingWorkNs();
    const double medianLoginNs = static_cast<double>(quantile(samples.execute, 0.5)) * 1000;
    std::printf("  timing's own work          : %9.0f ns a login = %.3f %% of the median login\n", workNs,
                medianLoginNs > 0 ? workNs / medianLoginNs * 100 : 0.0);
    const long expected = pairs * blockSize;
    return on.logins == expected && off.logins == expected && reference.logins == expected;
}

}  // namespace

int main(int argc, char** argv) {
    const long logins = argc > 1 ? std::atol(argv[1]) : 20'000;
    const long block = argc > 2 ? std::atol(argv[2]) : 20;
    if (logins <= 0 || block <= 0) {
        std::fprintf(stderr, "usage: %s [LOGINS>0] [BLOCK>0]\n", argv[0]);
        return 2;
    }
    ::setenv("LANG", "C", 1);
    tarrow::test::PrivateSlapd server(std::vector<tarrow::test::SeedUser>{{"bench", "secret"}},
                                      tarrow::test::WithTls{});
    // Before libldap's first connection: it reads its TLS settings once.
    ::setenv("LDAPTLS_CACERT", server.certificate().c_str(), 1);
    const std::string dn = std::string("cn=bench,") + tarrow::test::PrivateSlapd::kBaseDn;

    bool ok = runMode({"plain", server.tree(), server.url(), false}, dn, logins, block);
    const long tlsLogins = std::max(logins / 5, block);
    ok = runMode({"StartTLS", server.tree(), server.url(), true}, dn, tlsLogins, block) && ok;
    ok = runMode({"ldaps", server.ldapsUrl(), server.ldapsUrl(), false}, dn, tlsLogins, block) && ok;
    ::unsetenv("QDS_STARTTLS");
    return ok ? 0 : 1;
}
