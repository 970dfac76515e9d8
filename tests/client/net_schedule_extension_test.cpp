// The client's side of the schedule extension: accepted only after the timings, then every
// credential packet runs at once, with the described log line, and the record's lag runs
// from the packet's arrival. A new connection starts unasked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/schedule_extension.h"
#include "common/timings_extension.h"
#include "qds/fake/qdsfake.h"
#include "tests/support/connected_client_test.h"
#include "tests/support/form_harness.h"

namespace {

using tarrow::FormHarness;
using Lines = std::vector<std::string>;
namespace timings = tarrow::timings;
namespace schedule = tarrow::schedule;

constexpr const char* kCredentials = "Ualice,secret,Tree,Users.Vantric,srv1";

using ScheduleExtension = tarrow::ConnectedClientTest;

TEST_F(ScheduleExtension, APacedClientRunsEachCredentialPacketAtOnce) {
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    h.tcp.raiseReadable(std::string(schedule::kRequestPacket));
    ASSERT_EQ(h.tcp.writes, (Lines{std::string(timings::kAcceptance), std::string(schedule::kAcceptance)}));
    h.tcp.raiseReadable(kCredentials);
    ASSERT_EQ(h.tcp.writes.size(), 3U) << "no delay: the reply is out before any timer ran";
    EXPECT_EQ(h.tcp.writes[2].substr(0, 3), std::string("R1\0", 3));
    timings::LoginTimings t;
    std::size_t consumed = 0;
    ASSERT_EQ(timings::parseRecord(h.tcp.writes[2].substr(3), t, consumed), timings::RecordState::Complete);
    EXPECT_GE(t.lagUs, 0);
    EXPECT_GE(t.executeUs, 0);
    EXPECT_EQ(newLog(), Lines{"Received: Ualice,secret,Tree,Users.Vantric,srv1 from Controller"});
    h.tcp.raiseReadable(kCredentials);
    EXPECT_EQ(h.tcp.writes.size(), 4U) << "and the next one too";
}

TEST_F(ScheduleExtension, BothRequestsInOneReadAreBothAccepted) {
    h.tcp.raiseReadable(std::string(timings::kRequestPacket) + std::string(schedule::kRequestPacket) +
                        kCredentials);
    ASSERT_EQ(h.tcp.writes.size(), 3U);
    EXPECT_EQ(h.tcp.writes[1], schedule::kAcceptance);
}

TEST_F(ScheduleExtension, WithoutTheTimingsTheRequestIsAnIgnoredFPacket) {
    h.tcp.raiseReadable(std::string(schedule::kRequestPacket));
    EXPECT_TRUE(h.tcp.writes.empty());
    h.tcp.raiseReadable(kCredentials);
    EXPECT_TRUE(h.tcp.writes.empty()) << "the described delay holds the login";
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
    EXPECT_EQ(newLog(), Lines{"Received: Ualice,secret,Tree,Users.Vantric,srv1 from Controller"});
}

TEST_F(ScheduleExtension, ANewConnectionStartsUnpaced) {
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    h.tcp.raiseReadable(std::string(schedule::kRequestPacket));
    ASSERT_TRUE(h.form().scheduleAsked);
    h.tcp.raiseClosed();
    EXPECT_FALSE(h.form().scheduleAsked);
}

}  // namespace
