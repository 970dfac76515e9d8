// DSUser over the real directory libraries against a private slapd on 127.0.0.1.
#include "client/directory/DSUser.h"
#include "qds/include/qverrors.h"
#include "tests/slapd/private_slapd.h"
#include "tests/support/silent_server.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <utility>
#include <memory>
#include <string>

namespace {

using tarrow::test::PrivateSlapd;

const std::string kLatin1Password = "p\xe4\xdf\xe9\x80";  // päßé€ in Windows-1252

class DSUserAgainstSlapd : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::setenv("LANG", "C", 1);  // code page 1252 whatever the machine's locale
        ::unsetenv("LC_ALL");
        ::unsetenv("LC_CTYPE");
        server = std::make_unique<PrivateSlapd>(
            std::vector<tarrow::test::SeedUser>{{"alice", "secret"}, {"latin", kLatin1Password}});
    }
    static void TearDownTestSuite() { server.reset(); }

    void SetUp() override {
        user.userName = "alice";
        user.password = "secret";
        user.tree = server->tree();
        user.context = PrivateSlapd::kContext;
        user.server = "unused";
    }

    std::string failMessage() {
        try {
            user.execute();
        } catch (const DSUser::DSError& e) {
            return e.message;
        }
        return "no DSError";
    }

    static std::unique_ptr<PrivateSlapd> server;
    DSUser user;
};

std::unique_ptr<PrivateSlapd> DSUserAgainstSlapd::server;

std::string loginFailure(int code) { return "QVDSLogin returned " + std::to_string(code); }

TEST_F(DSUserAgainstSlapd, RightPasswordLogsInAndAuthenticates) {
    EXPECT_EQ(user.execute(), 1);
    EXPECT_TRUE(user.loggedIn);
    EXPECT_TRUE(user.authenticated);
    // The next login ends this one first and works again.
    EXPECT_EQ(user.execute(), 1);
    user.function = 2;
    EXPECT_EQ(user.execute(), 1);
    EXPECT_FALSE(user.loggedIn);
}

TEST_F(DSUserAgainstSlapd, TreeAsUrlAndContextInOtherLetterCaseWork) {
    user.tree = server->url();
    user.context = "users.engineering.elmford.vantric";
    EXPECT_EQ(user.execute(), 1);
}

TEST_F(DSUserAgainstSlapd, WrongPasswordIsInvalidCredentials) {
    user.password = "wrong";
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_INVALID_CREDENTIALS));
    EXPECT_FALSE(user.loggedIn);
    EXPECT_FALSE(user.authenticated);
}

TEST_F(DSUserAgainstSlapd, EmptyPasswordIsRefusedNotAnAnonymousLogin) {
    user.password.clear();
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_INVALID_CREDENTIALS));
}

TEST_F(DSUserAgainstSlapd, UnknownUserAndUnknownContextHaveTheirOwnCodes) {
    user.userName = "nobody";
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_NO_SUCH_ENTRY));
    user.userName = "alice";
    user.context = "Users.Nowhere.Elmford.Vantric";
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_NO_SUCH_CONTEXT));
}

TEST_F(DSUserAgainstSlapd, UserNameWithDnSyntaxCannotBindAsAnotherEntry) {
    // Without escaping this would bind as alice under another base.
    user.userName = "alice,ou=Users";
    user.context = "Engineering.Elmford.Vantric";
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_NO_SUCH_ENTRY));
}

TEST_F(DSUserAgainstSlapd, Latin1PasswordLogsIn) {
    user.userName = "latin";
    user.password = kLatin1Password;
    EXPECT_EQ(user.execute(), 1);
}

TEST_F(DSUserAgainstSlapd, MalformedTreeFailsWithoutNetwork) {
    user.tree = "127.0.0.1:notaport";
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_BAD_NAME));
}

TEST_F(DSUserAgainstSlapd, MalformedContextFailsInSetContext) {
    user.context = "Users..Vantric";
    EXPECT_EQ(failMessage(), "QVDSSetContext returned " + std::to_string(QV_ERR_BAD_NAME));
}

TEST_F(DSUserAgainstSlapd, ClosedPortIsUnreachable) {
    user.tree = "127.0.0.1:" + std::to_string(tarrow::test::freeLoopbackPort());
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_SERVER_UNREACHABLE));
}

TEST_F(DSUserAgainstSlapd, ServerGoneBetweenLoginsGivesUnreachableAndEndsIdle) {
    auto shortLived = std::make_unique<PrivateSlapd>(
        std::vector<tarrow::test::SeedUser>{{"alice", "secret"}});
    user.tree = shortLived->tree();
    ASSERT_EQ(user.execute(), 1);
    shortLived.reset();  // the open login's connection is closed by the server
    // The log-out writes to the dead connection; then the new login finds no server.
    EXPECT_EQ(failMessage(), loginFailure(QV_ERR_SERVER_UNREACHABLE));
    EXPECT_FALSE(user.loggedIn);
    EXPECT_FALSE(user.authenticated);
}

using tarrow::SilentServer;

// The same bound holds for a plain tree and for an ldaps:// tree, whose TLS handshake
// is the first thing that waits for the server.
TEST_F(DSUserAgainstSlapd, SilentServerTimesOutWithinTheBound) {
    ::setenv("QDS_OP_TIMEOUT_MS", "300", 1);
    ::setenv("QDS_CONNECT_TIMEOUT_MS", "300", 1);
    for (const char* scheme : {"", "ldaps://"}) {
        auto silent = std::make_unique<SilentServer>();
        user.tree = scheme + std::string("127.0.0.1:") + std::to_string(silent->port());
        auto outcome = std::async(std::launch::async, [this] {
            const auto start = std::chrono::steady_clock::now();
            std::string message = failMessage();
            return std::pair{message, std::chrono::steady_clock::now() - start};
        });
        // A hang guard, not a speed check: several times the bound. Closing the server
        // ends a login that still waits, so that the test itself cannot hang.
        const bool finished = outcome.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
        silent.reset();
        const auto [message, elapsed] = outcome.get();
        EXPECT_TRUE(finished) << user.tree << " waited past the bound";
        EXPECT_EQ(message, loginFailure(QV_ERR_TIMEOUT)) << user.tree;
        EXPECT_LT(elapsed, std::chrono::seconds(3)) << user.tree;
        EXPECT_FALSE(user.loggedIn);
    }
    ::unsetenv("QDS_OP_TIMEOUT_MS");
    ::unsetenv("QDS_CONNECT_TIMEOUT_MS");
}

}  // namespace
