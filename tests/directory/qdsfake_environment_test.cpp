// Runs with QDSFAKE_FAIL=QVDSLogin:-5,bad-entry QDSFAKE_FAIL_USER=bob:-669
// QDSFAKE_FAIL_NTH=QVDSSetContext:2:-9 QDSFAKE_RECORD=1 (see CMakeLists.txt).
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
