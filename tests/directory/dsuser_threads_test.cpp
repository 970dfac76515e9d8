// The real directory libraries from several threads at once, each with its own DSUser (and so
// its own context): every login gets its own answer, with its own phase timings. Run under
// ThreadSanitizer by the tsan preset.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/directory/DSUser.h"
#include "client/directory/login_timings.h"
#include "tests/slapd/private_slapd.h"

using tarrow::test::PrivateSlapd;

TEST(DSUserThreads, EachThreadWithItsOwnUserGetsItsOwnOutcome) {
    constexpr int kThreads = 4;
    constexpr int kLogins = 25;
    std::vector<tarrow::test::SeedUser> seeds;
    for (int t = 0; t < kThreads; ++t)
        seeds.push_back({"user" + std::to_string(t), "pw" + std::to_string(t)});
    const PrivateSlapd server(seeds);
    std::atomic<int> successes{0}, refusals{0}, wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            DSUser user;
            user.userName = "user" + std::to_string(t);
            user.tree = server.tree();
            user.context = PrivateSlapd::kContext;
            for (int i = 0; i < kLogins; ++i) {
                // Every other login with the wrong password: answers must not cross threads.
                const bool right = i % 2 == 0;
                user.password = right ? "pw" + std::to_string(t) : "nope";
                try {
                    if (user.execute() == 1 && right) ++successes;
                    else
                        ++wrong;
                } catch (const DSUser::DSError& e) {
                    if (!right && e.message == "QVDSLogin returned -203") ++refusals;
                    else
                        ++wrong;
                }
                const auto phases = tarrow::takePhaseTimings();
                if (right && !phases.has(static_cast<int>(tarrow::LoginPhase::Verify))) ++wrong;
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(successes, kThreads * (kLogins + 1) / 2);
    EXPECT_EQ(refusals, kThreads * (kLogins / 2));
    EXPECT_EQ(wrong, 0);
}
