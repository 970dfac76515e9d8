// Plain, StartTLS and ldaps:// logins against a private slapd with a self-signed
// certificate: each mode logs in and times its phases, and every TLS failure has its own
// code, distinct from a server that cannot be reached.
#include "client/directory/DSUser.h"
#include "client/directory/login_timings.h"
#include "qds/include/qverrors.h"
#include "tests/slapd/private_slapd.h"
#include "tests/support/silent_server.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>

namespace {

using tarrow::LoginPhase;
using tarrow::PhaseTimings;
using tarrow::takePhaseTimings;
using tarrow::test::PrivateSlapd;
using tarrow::test::WithTls;

std::string loginFailure(int code) { return "QVDSLogin returned " + std::to_string(code); }

class TlsLogins : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("LANG", "C", 1);
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_CTYPE");
        server = std::make_unique<PrivateSlapd>(std::vector<tarrow::test::SeedUser>{{"alice", "secret"}},
                                                WithTls{});
        // A second server with a certificate of its own, which nobody trusts.
        untrusted = std::make_unique<PrivateSlapd>(std::vector<tarrow::test::SeedUser>{{"alice", "secret"}},
                                                   WithTls{});
        // libldap reads its TLS settings once, before its first connection in the process.
        ::setenv("LDAPTLS_CACERT", server->certificate().c_str(), 1);
        ::setenv("LDAPTLS_REQCERT", "demand", 1);
    }
    static void TearDownTestSuite() {
        server.reset();
        untrusted.reset();
    }

    void SetUp() override {
        ::unsetenv("QDS_STARTTLS");
        user.userName = "alice";
        user.password = "secret";
        user.context = PrivateSlapd::kContext;
        user.server = "unused";
        takePhaseTimings();
    }
    void TearDown() override {
        ::unsetenv("QDS_STARTTLS");
        user.logout();
    }

    std::string result() {
        try {
            return std::to_string(user.execute());
        } catch (const DSUser::DSError& e) {
            return e.message;
        }
    }

    static std::unique_ptr<PrivateSlapd> server;
    static std::unique_ptr<PrivateSlapd> untrusted;
    DSUser user;
};

std::unique_ptr<PrivateSlapd> TlsLogins::server;
std::unique_ptr<PrivateSlapd> TlsLogins::untrusted;

constexpr std::uint32_t bit(LoginPhase p) { return 1u << static_cast<int>(p); }
constexpr std::uint32_t kPlainLogin = bit(LoginPhase::Connect) | bit(LoginPhase::Bind) |
                                      bit(LoginPhase::Verify);

TEST_F(TlsLogins, PlainLoginTimesConnectBindAndVerifyButNoTls) {
    user.tree = server->tree();
    ASSERT_EQ(result(), "1");
    const PhaseTimings t = takePhaseTimings();
    EXPECT_EQ(t.reached, kPlainLogin);
    EXPECT_GT(t.of(LoginPhase::Bind), 0);
    EXPECT_LT(t.of(LoginPhase::Connect), 3'000'000);
    // The next login carries the unbind of the login it ends.
    ASSERT_EQ(result(), "1");
    EXPECT_EQ(takePhaseTimings().reached, kPlainLogin | bit(LoginPhase::Unbind));
}

TEST_F(TlsLogins, StartTlsIsChosenByTheEnvironmentAndTimedAsTls) {
    user.tree = server->tree();
    ::setenv("QDS_STARTTLS", "1", 1);
    ASSERT_EQ(result(), "1");
    PhaseTimings t = takePhaseTimings();
    EXPECT_EQ(t.reached, kPlainLogin | bit(LoginPhase::Tls));
    EXPECT_GT(t.of(LoginPhase::Tls), 0);
    // Any letter case of the words that mean on; other values leave it off.
    ::setenv("QDS_STARTTLS", "Yes", 1);
    ASSERT_EQ(result(), "1");
    EXPECT_TRUE(takePhaseTimings().has(LoginPhase::Tls));
    ::setenv("QDS_STARTTLS", "2", 1);
    ASSERT_EQ(result(), "1");
    EXPECT_FALSE(takePhaseTimings().has(LoginPhase::Tls));
}

TEST_F(TlsLogins, LdapsLoginTimesTheHandshakeApartFromTheConnection) {
    user.tree = server->ldapsUrl();
    ::setenv("QDS_STARTTLS", "1", 1);  // ignored: TLS from the start already
    ASSERT_EQ(result(), "1");
    const PhaseTimings t = takePhaseTimings();
    EXPECT_EQ(t.reached, kPlainLogin | bit(LoginPhase::Tls));
    EXPECT_GT(t.of(LoginPhase::Tls), 0);
}

TEST_F(TlsLogins, UntrustedCertificateIsATlsFailureNotAnUnreachableServer) {
    user.tree = untrusted->ldapsUrl();
    EXPECT_EQ(result(), loginFailure(QV_ERR_TLS));
    EXPECT_FALSE(user.loggedIn);
    // The failed login keeps the phases it reached: connect and the handshake.
    EXPECT_EQ(takePhaseTimings().reached, bit(LoginPhase::Connect) | bit(LoginPhase::Tls));
    user.tree = untrusted->tree();
    ::setenv("QDS_STARTTLS", "1", 1);
    EXPECT_EQ(result(), loginFailure(QV_ERR_TLS));
}

TEST_F(TlsLogins, WrongHostNameIsATlsFailure) {
    // The certificate names 127.0.0.1 only.
    user.tree = "ldaps://localhost:" + std::to_string(server->tlsPort());
    EXPECT_EQ(result(), loginFailure(QV_ERR_TLS));
}

TEST_F(TlsLogins, HandshakeOrStartTlsRefusedIsATlsFailure) {
    PrivateSlapd plain(std::vector<tarrow::test::SeedUser>{{"alice", "secret"}});
    // A plain LDAP port does not speak TLS: the handshake fails.
    user.tree = "ldaps://" + plain.tree();
    EXPECT_EQ(result(), loginFailure(QV_ERR_TLS));
    // A server without a certificate refuses StartTLS.
    user.tree = plain.tree();
    ::setenv("QDS_STARTTLS", "1", 1);
    EXPECT_EQ(result(), loginFailure(QV_ERR_TLS));
}

TEST_F(TlsLogins, ClosedPortStaysUnreachableWithTls) {
    user.tree = "ldaps://127.0.0.1:" + std::to_string(tarrow::test::freeLoopbackPort());
    EXPECT_EQ(result(), loginFailure(QV_ERR_SERVER_UNREACHABLE));
    EXPECT_EQ(takePhaseTimings().reached, bit(LoginPhase::Connect));
    user.tree = "127.0.0.1:" + std::to_string(tarrow::test::freeLoopbackPort());
    ::setenv("QDS_STARTTLS", "1", 1);
    EXPECT_EQ(result(), loginFailure(QV_ERR_SERVER_UNREACHABLE));
}

TEST_F(TlsLogins, WrongPasswordKeepsConnectAndBind) {
    user.tree = server->tree();
    user.password = "wrong";
    EXPECT_EQ(result(), loginFailure(QV_ERR_INVALID_CREDENTIALS));
    EXPECT_EQ(takePhaseTimings().reached, bit(LoginPhase::Connect) | bit(LoginPhase::Bind));
}

using tarrow::SilentServer;

TEST_F(TlsLogins, SilentServerTimesOutStartTlsWithinTheBound) {
    ::setenv("QDS_OP_TIMEOUT_MS", "300", 1);
    ::setenv("QDS_CONNECT_TIMEOUT_MS", "300", 1);
    ::setenv("QDS_STARTTLS", "1", 1);
    auto silent = std::make_unique<SilentServer>();
    user.tree = "127.0.0.1:" + std::to_string(silent->port());
    auto outcome = std::async(std::launch::async, [this] { return result(); });
    const bool finished = outcome.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    silent.reset();
    EXPECT_TRUE(finished);
    EXPECT_EQ(outcome.get(), loginFailure(QV_ERR_TIMEOUT));
    ::unsetenv("QDS_OP_TIMEOUT_MS");
    ::unsetenv("QDS_CONNECT_TIMEOUT_MS");
}

}  // namespace
