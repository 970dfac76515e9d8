// The monitor reader against real slapd: the private slapd's cn=Monitor counters, the
// refusals a run survives, and the agreement of the server's completed binds with the
// logins that reached the bind. (slapd reserves the suffix cn=monitor, so the other
// dialect's entry is read from entries in monitor_entries_test.)
#include "client/directory/DSUser.h"
#include "common/monitor/ldap_monitor_source.h"
#include "qds/monitor/directory_monitor.h"
#include "tests/slapd/private_slapd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

using tarrow::test::PrivateSlapd;

constexpr const char* kMonitorDn = PrivateSlapd::kMonitorDn;

std::int64_t steadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Reading {
    int rc = -1;
    DirmonSample sample{};
    std::string error;
    unsigned long long ownBinds = 0;
};

Reading readOnce(const std::string& uri, const std::string& dn, const std::string& password) {
    char error[256] = {};
    Reading r;
    Dirmon* m = dirmon_open(uri.c_str(), dn.c_str(), password.c_str(), 2000, 2000, error, sizeof error);
    if (!m) {
        r.error = error;
        return r;
    }
    r.rc = dirmon_read(m, &r.sample, error, sizeof error);
    r.error = error;
    r.ownBinds = dirmon_own_binds(m);
    dirmon_close(m);
    return r;
}

class MonitorAgainstSlapd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("LANG", "C", 1);
        server = std::make_unique<PrivateSlapd>(std::vector<tarrow::test::SeedUser>{{"alice", "secret"}});
        password = server->monitorPassword();
    }
    static void TearDownTestSuite() { server.reset(); }
    static std::unique_ptr<PrivateSlapd> server;
    static std::string password;
};
std::unique_ptr<PrivateSlapd> MonitorAgainstSlapd::server;
std::string MonitorAgainstSlapd::password;

TEST_F(MonitorAgainstSlapd, TheMonitorUserReadsTheCounterSubtree) {
    const Reading r = readOnce(server->url(), kMonitorDn, password);
    ASSERT_EQ(r.rc, 0) << r.error;
    EXPECT_EQ(r.sample.dialect, DIRMON_COUNTER_SUBTREE);
    EXPECT_GE(r.sample.completed, 1);  // its own bind at least
    EXPECT_GE(r.sample.initiated, r.sample.completed);
    EXPECT_GE(r.sample.connections, 1);  // its own connection
    EXPECT_GE(r.sample.read_waiters, 0);
    EXPECT_GE(r.sample.write_waiters, 0);
    EXPECT_GE(r.sample.threads, 1);
    EXPECT_EQ(r.ownBinds, 1u);
    // host:port names the same server.
    EXPECT_EQ(readOnce(server->tree(), kMonitorDn, password).sample.dialect, DIRMON_COUNTER_SUBTREE);
}

TEST_F(MonitorAgainstSlapd, AnonymousSeesNoMonitorAndAWrongPasswordIsRefused) {
    const Reading anonymous = readOnce(server->url(), "", "");
    ASSERT_EQ(anonymous.rc, 0) << anonymous.error;
    EXPECT_EQ(anonymous.sample.dialect, DIRMON_NONE);

    const Reading refused = readOnce(server->url(), kMonitorDn, "wrong");
    EXPECT_EQ(refused.rc, -1);
    EXPECT_EQ(refused.error, "the bind failed: Invalid credentials");
    EXPECT_EQ(refused.ownBinds, 1u);
}

TEST_F(MonitorAgainstSlapd, BadUrisAndAnUnreachableServerFailWithTheReasonInBoundedTime) {
    char error[256] = {};
    EXPECT_EQ(dirmon_open("ldaps://127.0.0.1:1", "", "", 100, 100, error, sizeof error), nullptr);
    EXPECT_STREQ(error, "the monitor reads over ldap:// only, not ldaps://127.0.0.1:1");
    EXPECT_EQ(dirmon_open("http://127.0.0.1:1", "", "", 100, 100, error, sizeof error), nullptr);

    const auto start = std::chrono::steady_clock::now();
    const Reading r = readOnce("ldap://127.0.0.1:" + std::to_string(tarrow::test::freeLoopbackPort()), "", "");
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.error.rfind("cannot connect: ", 0), 0u) << r.error;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

// The agreement check: over a run, the binds the server completed, less the monitor's own,
// are exactly the logins that reached the bind (a quiet server: nothing else binds).
TEST_F(MonitorAgainstSlapd, ServerBindsLessTheMonitorsOwnEqualTheLoginsThatReachedTheBind) {
    ::setenv(tarrow::monitor::kMonitorPasswordVariable, password.c_str(), 1);
    std::vector<std::string> warnings;
    auto sampler = tarrow::monitor::makeLdapSampler(
        server->url(), kMonitorDn, steadyUs, [&warnings](const std::string& w) { warnings.push_back(w); });
    sampler->start(steadyUs());
    int reachedBind = 0;
    const struct {
        const char* user;
        const char* password;
        bool binds;
    } logins[] = {
        {"alice", "secret", true}, {"alice", "wrong", true}, {"nobody", "x", true}, {"alice", "", false}};
    for (int round = 0; round < 15; ++round) {
        for (const auto& l : logins) {
            DSUser user;
            user.userName = l.user;
            user.password = l.password;
            user.tree = server->tree();
            user.context = PrivateSlapd::kContext;
            user.server = "unused";
            try {
                user.execute();
            } catch (const DSUser::DSError&) {
            }
            reachedBind += l.binds ? 1 : 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a run of about two seconds
    }
    sampler->stop();
    const auto state = sampler->state();
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    EXPECT_GE(state.readings.size(), 2u);
    EXPECT_EQ(state.completedByOthers(), reachedBind);
    ::unsetenv(tarrow::monitor::kMonitorPasswordVariable);
}

}  // namespace
