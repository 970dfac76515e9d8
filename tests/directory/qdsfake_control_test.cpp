// The control API of the recording double, as other areas' tests use it.
#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"
#include "qds/include/qvintlapi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

class QdsFake : public ::testing::Test {
protected:
    void SetUp() override { qdsfake_reset(); }
    void TearDown() override { qdsfake_reset(); }
};

TEST_F(QdsFake, FailHitsEveryLaterCallAndResetClearsIt) {
    qdsfake_fail("QVDSLogin", -5);
    EXPECT_EQ(QVDSLogin(1, 0, "a", "p", 0), -5);
    EXPECT_EQ(QVDSLogin(1, 0, "a", "p", 0), -5);
    qdsfake_reset();
    EXPECT_EQ(QVDSLogin(1, 0, "a", "p", 0), 0);
}

TEST_F(QdsFake, FailNthHitsOnlyThatCall) {
    qdsfake_fail_nth("QVDSSetContext", 2, -7);
    EXPECT_EQ(QVDSSetContext(1, 3, "x"), 0);
    EXPECT_EQ(QVDSSetContext(1, 11, "y"), -7);
    EXPECT_EQ(QVDSSetContext(1, 3, "x"), 0);
}

TEST_F(QdsFake, FailUserHitsOnlyThatUsersLogin) {
    qdsfake_fail_user("bob", -669);
    EXPECT_EQ(QVDSLogin(1, 0, "alice", "p", 0), 0);
    EXPECT_EQ(QVDSLogin(1, 0, "bob", "p", 0), -669);
    EXPECT_EQ(QVDSLogin(1, 0, "bobby", "p", 0), 0);
}

TEST_F(QdsFake, RecordsWhenOnAndKeepsNothingWhenOff) {
    qdsfake_set_recording(0);
    QVDSLogout(4);
    EXPECT_EQ(qdsfake_call_count(), 0u);
    qdsfake_set_recording(1);
    QVDSLogin(4, 0, nullptr, "p", 0);
    ASSERT_EQ(qdsfake_call_count(), 1u);
    EXPECT_STREQ(qdsfake_call(0), "QVDSLogin(4,0,NULL,p,0)");
    EXPECT_EQ(qdsfake_call(1), nullptr);
}

TEST_F(QdsFake, TracksWhatCallersHoldOpen) {
    std::uint32_t h = 0;
    ASSERT_EQ(QVDSCreateContextHandle(&h), 0);
    QVInitUnicodeTables(1252, 1);
    QVDSLogin(h, 0, "a", "p", 0);
    EXPECT_EQ(qdsfake_open_contexts(), 1);
    EXPECT_EQ(qdsfake_open_logins(), 1);
    EXPECT_EQ(qdsfake_open_unicode_tables(), 1);
    QVDSFreeContext(h);  // ends the login with it
    QVFreeUnicodeTables();
    EXPECT_EQ(qdsfake_open_contexts(), 0);
    EXPECT_EQ(qdsfake_open_logins(), 0);
    EXPECT_EQ(qdsfake_open_unicode_tables(), 0);
}

TEST_F(QdsFake, LoginDelayIsApplied) {
    qdsfake_set_login_delay_us(20000);
    const auto start = std::chrono::steady_clock::now();
    QVDSLogin(1, 0, "a", "p", 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(20000));
}

// Logins from several threads at once; each login's end, from the start, in microseconds.
std::vector<long long> concurrentLoginEnds(int threads) {
    const auto start = std::chrono::steady_clock::now();
    std::vector<long long> ends(static_cast<std::size_t>(threads));
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&ends, t, start] {
            QVDSLogin(static_cast<std::uint32_t>(t + 1), 0, "a", "p", 0);
            ends[static_cast<std::size_t>(t)] = std::chrono::duration_cast<std::chrono::microseconds>(
                                                    std::chrono::steady_clock::now() - start)
                                                    .count();
        });
    }
    for (auto& t : running) t.join();
    std::sort(ends.begin(), ends.end());
    return ends;
}

TEST_F(QdsFake, LoginsQueueForBusyServers) {
    constexpr long long kServiceUs = 150'000;
    qdsfake_set_servers(2, kServiceUs);
    // Two servers serve the first two logins side by side; the third waits for one of them.
    const auto ends = concurrentLoginEnds(3);
    EXPECT_GE(ends[0], kServiceUs);
    EXPECT_LT(ends[1], 2 * kServiceUs) << "the second login did not get the second server";
    EXPECT_GE(ends[2], 2 * kServiceUs) << "the third login did not wait for a busy server";

    // The bind phase holds the wait and the service.
    qdsfake_set_servers(1, 20'000);
    const auto before = std::chrono::steady_clock::now();
    QVDSLogin(1, 0, "a", "p", 0);
    QVLoginTimings timings{};
    ASSERT_EQ(QVDSTakeLoginTimings(&timings), 0);
    EXPECT_GE(timings.us[QV_PHASE_BIND], 20'000);
    EXPECT_LE(
        timings.us[QV_PHASE_BIND],
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - before).count());
}

TEST_F(QdsFake, ServersAreOffAfterResetOrWithZero) {
    qdsfake_set_servers(1, 200'000);
    qdsfake_reset();
    EXPECT_LT(concurrentLoginEnds(2)[1], 200'000);
    qdsfake_set_servers(0, 200'000);
    EXPECT_LT(concurrentLoginEnds(2)[1], 200'000);
}

// A servers file is the directory of every process that names it: a server that another
// process booked (its free time in the file) is busy here too, and this process's booking
// lands in the file for the others.
TEST_F(QdsFake, ServersInAFileAreSharedWithOtherProcesses) {
    char path[] = "/tmp/qdsfake-servers.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    constexpr std::int64_t kServiceUs = 10'000, kBusyUs = 100'000;
    qdsfake_set_servers(1, kServiceUs);
    ASSERT_EQ(qdsfake_share_servers(path), 0);
    const std::int64_t busyUntilUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count() +
                                     kBusyUs;
    ASSERT_EQ(pwrite(fd, &busyUntilUs, sizeof busyUntilUs, 0), static_cast<ssize_t>(sizeof busyUntilUs));

    QVDSLogin(1, 0, "a", "p", 0);
    QVLoginTimings timings{};
    ASSERT_EQ(QVDSTakeLoginTimings(&timings), 0);
    EXPECT_GE(timings.us[QV_PHASE_BIND], kBusyUs) << "the login did not wait for the other process's login";
    std::int64_t inFile = 0;
    ASSERT_EQ(pread(fd, &inFile, sizeof inFile, 0), static_cast<ssize_t>(sizeof inFile));
    EXPECT_EQ(inFile, busyUntilUs + kServiceUs) << "the booking is not in the file";

    // Back in this process after a reset: the file's busy server is no longer seen.
    qdsfake_reset();
    qdsfake_set_servers(1, kServiceUs);
    ASSERT_EQ(pwrite(fd, &busyUntilUs, sizeof busyUntilUs, 0), static_cast<ssize_t>(sizeof busyUntilUs));
    EXPECT_LT(concurrentLoginEnds(1)[0], kBusyUs);
    EXPECT_EQ(qdsfake_share_servers("/nonexistent-folder/servers"), -1);
    close(fd);
    unlink(path);
}

}  // namespace
