// DSUser::execute against the recording double: logins per second and the growth of
// the resident set over a long run (recording off, as in any program), beside the
// same library calls made straight in a loop. Usage: fake_login_memory_bench [LOGINS]
#include "client/directory/DSUser.h"
#include "qds/include/qvconnapi.h"
#include "qds/include/qvdsapi.h"
#include "qds/include/qvintlapi.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

long maxResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The calls of one login and the log-out before it, without the record around them.
void directLogin(std::uint32_t& handle, bool& open) {
    if (open) {
        QVDSLogout(handle);
        QVDSFreeContext(handle);
        QVFreeUnicodeTables();
    }
    QVCallsInit(0, 0);
    QVLocaleRecord locale{};
    QVGetLocaleInfo(&locale);
    QVInitUnicodeTables(locale.codePage, locale.countryCode);
    QVDSCreateContextHandle(&handle);
    QVDSSetContext(handle, QV_CTX_NAME, "Users.Engineering.Elmford.Vantric");
    QVDSSetContext(handle, QV_CTX_TREE, "127.0.0.1");
    QVDSLogin(handle, 0, "alice", "secret", 0);
    std::uint32_t conn = 0;
    QVDSGetContext(handle, QV_CTX_CONNECTION, &conn);
    QVDSAuthenticateConn(handle, conn);
    open = true;
}

template <typename F>
double secondsOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const long logins = argc > 1 ? std::atol(argv[1]) : 1000000;
    if (logins <= 0) {
        std::fprintf(stderr, "usage: %s [LOGINS>0]\n", argv[0]);
        return 2;
    }
    DSUser user;
    user.setUserInfo("alice,secret,127.0.0.1,Users.Engineering.Elmford.Vantric,server");
    for (int i = 0; i < 1000; ++i) user.execute();  // warm up before the first reading
    const long rssBeforeKb = maxResidentKb();
    const double oursSeconds = secondsOf([&] {
        for (long i = 0; i < logins; ++i) user.execute();
    });
    const long rssAfterKb = maxResidentKb();
    user.logout();

    std::uint32_t handle = 0;
    bool open = false;
    const double directSeconds = secondsOf([&] {
        for (long i = 0; i < logins; ++i) directLogin(handle, open);
    });

    const double ours = static_cast<double>(logins) / oursSeconds;
    const double direct = static_cast<double>(logins) / directSeconds;
    std::printf("logins against the double: %ld\n", logins);
    std::printf("  DSUser::execute : %12.0f /s\n", ours);
    std::printf("  direct calls    : %12.0f /s\n", direct);
    std::printf("  ratio           : %12.3f\n", ours / direct);
    std::printf("  max resident    : %ld KiB before, %ld KiB after (growth %ld KiB)\n", rssBeforeKb,
                rssAfterKb, rssAfterKb - rssBeforeKb);
    return 0;
}
