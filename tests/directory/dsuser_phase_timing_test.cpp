// The phases of DSUser's login sequences as the recording double reports them: virtual
// figures, so that what a caller makes of them can be checked exactly.
#include "client/directory/DSUser.h"
#include "client/directory/login_timings.h"
#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"
#include "qds/include/qverrors.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using tarrow::LoginPhase;
using tarrow::PhaseTimings;
using tarrow::takePhaseTimings;

constexpr std::uint32_t bit(LoginPhase p) { return 1u << static_cast<int>(p); }

class DSUserPhases : public ::testing::Test {
protected:
    void SetUp() override {
        qdsfake_reset();
        qdsfake_set_recording(0);
        takePhaseTimings();  // nothing left over from another test
        user.setUserInfo("alice,secret,127.0.0.1:3890,Users.Vantric,srv");
    }
    void TearDown() override {
        tarrow::setPhaseTiming(true);
        qdsfake_reset();
    }
    DSUser user;
};

TEST_F(DSUserPhases, ALoginReportsConnectBindAndVerifyWithTheLoginDelayAsBind) {
    qdsfake_set_login_delay_us(1500);
    qdsfake_set_phase_us(QV_PHASE_CONNECT, 40);
    qdsfake_set_phase_us(QV_PHASE_VERIFY, 25);
    ASSERT_EQ(user.execute(), 1);
    const PhaseTimings t = takePhaseTimings();
    EXPECT_EQ(t.reached, bit(LoginPhase::Connect) | bit(LoginPhase::Bind) | bit(LoginPhase::Verify));
    EXPECT_EQ(t.of(LoginPhase::Connect), 40);
    EXPECT_EQ(t.of(LoginPhase::Bind), 1500);
    EXPECT_EQ(t.of(LoginPhase::Verify), 25);
    EXPECT_FALSE(t.has(LoginPhase::Tls));
    EXPECT_FALSE(t.has(LoginPhase::Unbind));
    // Taken means cleared.
    EXPECT_EQ(takePhaseTimings().reached, 0u);
}

TEST_F(DSUserPhases, TheNextLoginCarriesTheUnbindOfTheLoginItEnds) {
    qdsfake_set_phase_us(QV_PHASE_UNBIND, 7);
    qdsfake_set_phase_us(QV_PHASE_TLS, 300);
    ASSERT_EQ(user.execute(), 1);
    takePhaseTimings();
    ASSERT_EQ(user.execute(), 1);
    const PhaseTimings t = takePhaseTimings();
    EXPECT_TRUE(t.has(LoginPhase::Unbind));
    EXPECT_EQ(t.of(LoginPhase::Unbind), 7);
    EXPECT_EQ(t.of(LoginPhase::Tls), 300);
    EXPECT_EQ(t.reached, 0x1Fu);
    // The log-out function has the unbind only.
    user.function = 2;
    ASSERT_EQ(user.execute(), 1);
    EXPECT_EQ(takePhaseTimings().reached, bit(LoginPhase::Unbind));
}

TEST_F(DSUserPhases, AFailedLoginKeepsThePhasesItReached) {
    qdsfake_set_login_delay_us(200);
    qdsfake_fail("QVDSAuthenticateConn", QV_ERR_IDENTITY_MISMATCH);
    EXPECT_THROW(user.execute(), DSUser::DSError);
    // Connect, bind, the failed verify, and the unbind of the clean-up log-out.
    PhaseTimings t = takePhaseTimings();
    EXPECT_EQ(t.reached, 0x1Fu & ~bit(LoginPhase::Tls));
    EXPECT_EQ(t.of(LoginPhase::Bind), 200);

    qdsfake_reset();
    qdsfake_set_recording(0);
    qdsfake_fail("QVDSLogin", QV_ERR_SERVER_UNREACHABLE);
    EXPECT_THROW(user.execute(), DSUser::DSError);
    t = takePhaseTimings();
    EXPECT_EQ(t.reached, bit(LoginPhase::Connect) | bit(LoginPhase::Bind));
}

TEST_F(DSUserPhases, AStepBeforeTheLoginReportsNoPhase) {
    qdsfake_fail("QVDSSetContext", QV_ERR_BAD_NAME);
    EXPECT_THROW(user.execute(), DSUser::DSError);
    EXPECT_EQ(takePhaseTimings().reached, 0u);
}

TEST_F(DSUserPhases, TimingSwitchedOffReportsNothing) {
    tarrow::setPhaseTiming(false);
    ASSERT_EQ(user.execute(), 1);
    EXPECT_EQ(takePhaseTimings().reached, 0u);
    tarrow::setPhaseTiming(true);
    ASSERT_EQ(user.execute(), 1);
    EXPECT_NE(takePhaseTimings().reached, 0u);
}

TEST_F(DSUserPhases, EachThreadHasItsOwnRecord) {
    ASSERT_EQ(user.execute(), 1);
    std::uint32_t otherThreadSaw = 1;
    std::thread([&] { otherThreadSaw = takePhaseTimings().reached; }).join();
    EXPECT_EQ(otherThreadSaw, 0u);
    EXPECT_NE(takePhaseTimings().reached, 0u);
}

TEST_F(DSUserPhases, TakingTimingsIsNotRecordedAsACall) {
    qdsfake_set_recording(1);
    QVLoginTimings t{};
    EXPECT_EQ(QVDSTakeLoginTimings(&t), QV_OK);
    EXPECT_EQ(QVDSTakeLoginTimings(nullptr), QV_ERR_BAD_ARGUMENT);
    EXPECT_EQ(QVDSSetLoginTiming(1), QV_OK);
    EXPECT_EQ(qdsfake_call_count(), 0u);
}

TEST(LoginPhaseNames, AreTheReportKeys) {
    EXPECT_STREQ(tarrow::loginPhaseName(0), "connect");
    EXPECT_STREQ(tarrow::loginPhaseName(1), "tls");
    EXPECT_STREQ(tarrow::loginPhaseName(2), "bind");
    EXPECT_STREQ(tarrow::loginPhaseName(3), "verify");
    EXPECT_STREQ(tarrow::loginPhaseName(4), "unbind");
}

}  // namespace
