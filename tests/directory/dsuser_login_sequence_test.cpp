// The login and logout sequences of DSUser against the recording double.
#include "client/directory/DSUser.h"
#include "tests/support/fake_calls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Calls = std::vector<std::string>;

namespace {

const Calls kLoginOfContext1 = {
    "QVCallsInit(0,0)",
    "QVGetLocaleInfo(&)",
    "QVInitUnicodeTables(1252,1)",
    "QVDSCreateContextHandle(&)",
    "QVDSSetContext(1,3,Users.Engineering.Elmford.Vantric)",
    "QVDSSetContext(1,11,127.0.0.1:3890)",
    "QVDSLogin(1,0,alice,secret,0)",
    "QVDSGetContext(1,8,&)",
    "QVDSAuthenticateConn(1,1001)",
};

class DSUserLogin : public ::testing::Test {
protected:
    void SetUp() override {
        qdsfake_reset();
        user.userName = "alice";
        user.password = "secret";
        user.tree = "127.0.0.1:3890";
        user.context = "Users.Engineering.Elmford.Vantric";
        user.server = "never-used-server";
    }
    void TearDown() override { qdsfake_reset(); }

    std::string failMessage() {
        try {
            user.execute();
        } catch (const DSUser::DSError& e) {
            return e.message;
        }
        return "no DSError";
    }
    bool nothingOpen() {
        return qdsfake_open_contexts() == 0 && qdsfake_open_logins() == 0 && qdsfake_open_unicode_tables() == 0;
    }

    DSUser user;
};

TEST_F(DSUserLogin, SuccessfulSequenceCallsEveryStepInOrderAndSetsBothFlags) {
    EXPECT_EQ(user.execute(), 1);
    EXPECT_EQ(recordedCalls(), kLoginOfContext1);
    EXPECT_TRUE(user.loggedIn);
    EXPECT_TRUE(user.authenticated);
    EXPECT_EQ(user.contextHandle, 1u);
    EXPECT_EQ(user.connHandle, 1001u);
}

TEST_F(DSUserLogin, SecondExecuteLogsOutAndReleasesBeforeLoggingInAgain) {
    ASSERT_EQ(user.execute(), 1);
    qdsfake_reset();  // handles count from 1 again
    EXPECT_EQ(user.execute(), 1);
    Calls expected = {"QVDSLogout(1)", "QVDSFreeContext(1)", "QVFreeUnicodeTables()"};
    expected.insert(expected.end(), kLoginOfContext1.begin(), kLoginOfContext1.end());
    EXPECT_EQ(recordedCalls(), expected);
    EXPECT_TRUE(user.authenticated);
}

TEST_F(DSUserLogin, DestroyingALoggedInRecordLogsOut) {
    {
        DSUser other;
        other.setUserInfo("bob,pw,tree,ctx,srv");
        ASSERT_EQ(other.execute(), 1);
        qdsfake_reset();
    }
    EXPECT_THAT(recordedCalls(), ElementsAre("QVDSLogout(1)", "QVDSFreeContext(1)", "QVFreeUnicodeTables()"));
}

TEST_F(DSUserLogin, DestroyingARecordWithoutLoginCallsNothing) {
    { DSUser other; }
    EXPECT_THAT(recordedCalls(), IsEmpty());
}

TEST_F(DSUserLogin, UnimplementedFunctionsReturnMinus9999WithoutAnyCall) {
    for (int function : {0, 3, 4, 5, 255}) {
        for (int vendor : {1, 2}) {
            user.function = static_cast<std::uint8_t>(function);
            user.vendor = static_cast<std::uint8_t>(vendor);
            EXPECT_EQ(user.execute(), -9999) << "function " << function;
        }
    }
    EXPECT_THAT(recordedCalls(), IsEmpty());
}

TEST_F(DSUserLogin, UnimplementedVendorReturnsMinus10000WithoutAnyCall) {
    user.vendor = 2;
    user.function = 1;
    EXPECT_EQ(user.execute(), -10000);
    user.function = 2;
    EXPECT_EQ(user.execute(), -10000);
    EXPECT_EQ(user.login(), -10000);
    EXPECT_EQ(user.logout(), -10000);
    EXPECT_THAT(recordedCalls(), IsEmpty());
    EXPECT_FALSE(user.loggedIn);
}

TEST_F(DSUserLogin, LogoutFunctionEndsAnOpenLogin) {
    ASSERT_EQ(user.execute(), 1);
    user.function = 2;
    EXPECT_EQ(user.execute(), 1);
    EXPECT_FALSE(user.loggedIn);
    EXPECT_FALSE(user.authenticated);
    EXPECT_TRUE(nothingOpen());
}

TEST_F(DSUserLogin, LogoutWithoutLoginDoesNothingAndReturns1) {
    EXPECT_EQ(user.qdsLogout(), 1);
    user.function = 2;
    EXPECT_EQ(user.execute(), 1);
    EXPECT_THAT(recordedCalls(), IsEmpty());
}

struct StepFailure {
    const char* operation;
    unsigned nth;  // which call of that operation fails
    const char* message;
    std::size_t callsMade;     // calls of the sequence up to and including the failing one
    Calls releasesAfterwards;  // what the record releases before it throws
};

class DSUserStepFailure : public DSUserLogin, public ::testing::WithParamInterface<StepFailure> {};

TEST_P(DSUserStepFailure, ThrowsTheCallsTextAndCodeReleasesWhatWasTakenAndEndsIdle) {
    const StepFailure& f = GetParam();
    qdsfake_fail_nth(f.operation, f.nth, -321);
    EXPECT_EQ(failMessage(), std::string(f.message) + "-321");

    Calls expected(kLoginOfContext1.begin(), kLoginOfContext1.begin() + static_cast<long>(f.callsMade));
    expected.insert(expected.end(), f.releasesAfterwards.begin(), f.releasesAfterwards.end());
    EXPECT_EQ(recordedCalls(), expected);
    EXPECT_FALSE(user.loggedIn);
    EXPECT_FALSE(user.authenticated);
    EXPECT_TRUE(nothingOpen());

    // The next login starts from Idle: no log-out first.
    qdsfake_reset();
    EXPECT_EQ(user.execute(), 1);
    EXPECT_EQ(recordedCalls(), kLoginOfContext1);
}

const Calls kReleaseAll = {"QVDSFreeContext(1)", "QVFreeUnicodeTables()"};
const Calls kLogoutAndReleaseAll = {"QVDSLogout(1)", "QVDSFreeContext(1)", "QVFreeUnicodeTables()"};

INSTANTIATE_TEST_SUITE_P(
    EachStep, DSUserStepFailure,
    ::testing::Values(
        StepFailure{"QVCallsInit", 1, "QVCallsInit returned ", 1, {}},
        StepFailure{"QVInitUnicodeTables", 1, "QVInitUnicodeTables returned ", 3, {}},
        StepFailure{
            "QVDSCreateContextHandle", 1, "QVDSCreateContextHandle returned ", 4, {"QVFreeUnicodeTables()"}},
        StepFailure{"QVDSSetContext", 1, "QVDSSetContext returned ", 5, kReleaseAll},
        StepFailure{"QVDSSetContext", 2, "QVDSSetContext returned ", 6, kReleaseAll},
        StepFailure{"QVDSLogin", 1, "QVDSLogin returned ", 7, kReleaseAll},
        StepFailure{"QVDSGetContext", 1, "QVSDGetContext returned ", 8, kLogoutAndReleaseAll},
        StepFailure{"QVDSAuthenticateConn", 1, "QVDSAuthenticateConn returned ", 9, kLogoutAndReleaseAll}));

TEST_F(DSUserLogin, ErrorCodesAreWrittenInSignedDecimal) {
    qdsfake_fail("QVDSLogin", 669);
    EXPECT_EQ(failMessage(), "QVDSLogin returned 669");
    qdsfake_fail("QVDSLogin", INT32_MIN);
    EXPECT_EQ(failMessage(), "QVDSLogin returned -2147483648");
}

TEST_F(DSUserLogin, FailureChangesNoCredentialField) {
    qdsfake_fail("QVDSLogin", -1);
    failMessage();
    EXPECT_EQ(user.userName, "alice");
    EXPECT_EQ(user.password, "secret");
    EXPECT_EQ(user.tree, "127.0.0.1:3890");
    EXPECT_EQ(user.context, "Users.Engineering.Elmford.Vantric");
    EXPECT_EQ(user.server, "never-used-server");
}

TEST_F(DSUserLogin, LongestTextsThatFitArePassedWhole) {
    user.userName = std::string(48, 'u');
    user.password = std::string(79, 'p');
    user.tree = std::string(79, 't');
    user.context = std::string(79, 'c');
    ASSERT_EQ(user.execute(), 1);
    const Calls calls = recordedCalls();
    EXPECT_EQ(calls[4], "QVDSSetContext(1,3," + std::string(79, 'c') + ")");
    EXPECT_EQ(calls[5], "QVDSSetContext(1,11," + std::string(79, 't') + ")");
    EXPECT_EQ(calls[6], "QVDSLogin(1,0," + std::string(48, 'u') + "," + std::string(79, 'p') + ",0)");
}

TEST_F(DSUserLogin, TextOneLongerThanItsBufferIsRefusedBeforeAnyCall) {
    struct Case {
        std::string DSUser::*field;
        std::size_t length;
        const char* message;
    };
    for (const Case& c : {Case{&DSUser::userName, 49, "userName is longer than 48 characters"},
                          Case{&DSUser::password, 80, "password is longer than 79 characters"},
                          Case{&DSUser::tree, 80, "tree is longer than 79 characters"},
                          Case{&DSUser::context, 80, "context is longer than 79 characters"}}) {
        DSUser record;
        record.userName = "alice";
        record.password = "secret";
        record.tree = "t";
        record.context = "c";
        record.*(c.field) = std::string(c.length, 'x');
        try {
            record.execute();
            ADD_FAILURE() << c.message;
        } catch (const DSUser::DSError& e) {
            EXPECT_EQ(e.message, c.message);
        }
        EXPECT_EQ(record.*(c.field), std::string(c.length, 'x'));
    }
    EXPECT_THAT(recordedCalls(), IsEmpty());
}

TEST_F(DSUserLogin, TooLongTextLeavesAnOpenLoginOpen) {
    ASSERT_EQ(user.execute(), 1);
    qdsfake_reset();
    user.password = std::string(80, 'p');
    EXPECT_EQ(failMessage(), "password is longer than 79 characters");
    EXPECT_THAT(recordedCalls(), IsEmpty());
    EXPECT_TRUE(user.loggedIn);
}

TEST_F(DSUserLogin, PasswordWithAZeroByteIsRefusedRatherThanShortened) {
    user.password = std::string("abc\0def", 7);
    EXPECT_EQ(failMessage(), "password holds a zero character");
    EXPECT_THAT(recordedCalls(), IsEmpty());
}

TEST_F(DSUserLogin, EmptyTreeAndContextArePassedAsEmptyTexts) {
    user.tree.clear();
    user.context.clear();
    ASSERT_EQ(user.execute(), 1);
    EXPECT_EQ(recordedCalls()[4], "QVDSSetContext(1,3,)");
    EXPECT_EQ(recordedCalls()[5], "QVDSSetContext(1,11,)");
}

TEST_F(DSUserLogin, ServerNeverReachesALibraryCall) {
    user.server = "server-marker-text";
    ASSERT_EQ(user.execute(), 1);
    user.function = 2;
    user.execute();
    for (const std::string& call : recordedCalls())
        EXPECT_EQ(call.find("server-marker-text"), std::string::npos) << call;
}

}  // namespace
