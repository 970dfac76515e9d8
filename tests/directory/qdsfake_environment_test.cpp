// Runs with QDSFAKE_FAIL=QVDSLogin:-5,bad-entry QDSFAKE_FAIL_USER=bob:-669
// QDSFAKE_FAIL_NTH=QVDSSetContext:2:-9 QDSFAKE_RECORD=1, QDSFAKE_PHASE_US and
// QDSFAKE_LOGIN_DELAY_US=55 (see CMakeLists.txt).
#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"

#include <gtest/gtest.h>

TEST(QdsFakeEnvironment, FailuresAndRecordingComeFromTheEnvironment) {
    EXPECT_EQ(QVDSLogin(1, 0, "bob", "p", 0), -669);  // the user rule comes first
    EXPECT_EQ(QVDSLogin(1, 0, "alice", "p", 0), -5);
    EXPECT_EQ(QVDSSetContext(1, 3, "a"), 0);
    EXPECT_EQ(QVDSSetContext(1, 11, "b"), -9);
    EXPECT_EQ(qdsfake_call_count(), 4u);
}

TEST(QdsFakeEnvironment, VirtualPhaseFiguresComeFromTheEnvironment) {
    // QDSFAKE_PHASE_US=connect:11,tls:22,verify:33,unbind:44 (bind:5 and bogus:1 are
    // refused: bind is the login delay, 55).
    QVLoginTimings t{};
    QVDSTakeLoginTimings(&t);
    QVDSLogin(7, 0, "carol", "p", 0);
    QVDSAuthenticateConn(7, 1007);
    QVDSLogout(7);  // context 7 holds no login in the double: no unbind
    ASSERT_EQ(QVDSTakeLoginTimings(&t), 0);
    EXPECT_EQ(t.reached, 0x0Fu);
    EXPECT_EQ(t.us[QV_PHASE_CONNECT], 11);
    EXPECT_EQ(t.us[QV_PHASE_TLS], 22);
    EXPECT_EQ(t.us[QV_PHASE_BIND], 55);
    EXPECT_EQ(t.us[QV_PHASE_VERIFY], 33);
}
