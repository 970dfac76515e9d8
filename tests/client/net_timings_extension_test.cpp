// The client's side of the timings extension: silent unless a controller asks on this
// connection, then one acceptance and a record after every reply.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/timings_extension.h"
#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"
#include "tests/support/connected_client_test.h"
#include "tests/support/form_harness.h"

namespace {

using tarrow::FormHarness;
using Lines = std::vector<std::string>;
namespace timings = tarrow::timings;
using namespace std::string_literals;

constexpr const char* kCredentials = "Ualice,secret,Tree,Users.Vantric,srv1";

class TimingsExtension : public tarrow::ConnectedClientTest {
protected:
    // The record that follows the reply text in a write; fails the test when there is none.
    timings::LoginTimings recordOf(const std::string& write, const std::string& replyText) {
        timings::LoginTimings t;
        EXPECT_EQ(write.substr(0, replyText.size() + 1), replyText + '\0');
        std::size_t consumed = 0;
        const std::string record = write.substr(std::min(write.size(), replyText.size() + 1));
        EXPECT_EQ(timings::parseRecord(record, t, consumed), timings::RecordState::Complete) << record;
        EXPECT_EQ(consumed, record.size());
        return t;
    }
};

TEST_F(TimingsExtension, AskedClientAcceptsAtOnceAndTimesEveryReply) {
    qdsfake_set_phase_us(QV_PHASE_CONNECT, 50);
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    EXPECT_EQ(h.tcp.writes, Lines{std::string(timings::kAcceptance)});
    EXPECT_TRUE(newLog().empty()) << "an F packet is never logged";
    h.tcp.raiseReadable(kCredentials);
    h.advance(5000);
    ASSERT_EQ(h.tcp.writes.size(), 2U);
    const timings::LoginTimings t = recordOf(h.tcp.writes[1], "R1");
    EXPECT_EQ(t.lagUs, 0) << "virtual timers fire when due";
    EXPECT_GE(t.executeUs, 0);
    EXPECT_EQ(t.phases.of(tarrow::LoginPhase::Connect), 50);
    EXPECT_TRUE(t.phases.has(tarrow::LoginPhase::Bind));
    EXPECT_TRUE(t.phases.has(tarrow::LoginPhase::Verify));
    EXPECT_FALSE(t.phases.has(tarrow::LoginPhase::Tls));
    // The log is the described one.
    EXPECT_EQ(newLog(), Lines{"Received: Ualice,secret,Tree,Users.Vantric,srv1 from Controller"});
}

TEST_F(TimingsExtension, ErrorReplyKeepsItsTextAndCarriesTheRecordAfterTheZeroByte) {
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    qdsfake_fail("QVDSLogin", -203);
    h.tcp.raiseReadable(kCredentials);
    h.advance(5000);
    ASSERT_EQ(h.tcp.writes.size(), 2U);
    const std::string text = h.tcp.writes[1].substr(0, h.tcp.writes[1].find('\0'));
    ASSERT_EQ(text.rfind("R0", 0), 0U);
    EXPECT_EQ(newLog().back(), "***DSUser ERROR: " + text.substr(2));
    const timings::LoginTimings t = recordOf(h.tcp.writes[1], text);
    EXPECT_TRUE(t.phases.has(tarrow::LoginPhase::Bind)) << "a failed login keeps the phases it reached";
}

TEST_F(TimingsExtension, SwitchedOffOrNotAskedTheClientIsTheDescribedOne) {
    h.form().offerTimings = false;
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    EXPECT_TRUE(h.tcp.writes.empty());
    h.tcp.raiseReadable(kCredentials);
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
    EXPECT_EQ(newLog(), Lines{"Received: Ualice,secret,Tree,Users.Vantric,srv1 from Controller"});
}

TEST_F(TimingsExtension, OnlyTheExactVersionedTokenIsARequest) {
    for (const char* other : {"Ftarrow-timings/2", "Ftarrow-timings", "F tarrow-timings/1", "Ftimings"}) {
        h.tcp.raiseReadable(other);
        EXPECT_TRUE(h.tcp.writes.empty()) << other;
    }
    h.tcp.raiseReadable(kCredentials);
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
    EXPECT_TRUE(h.errorReport.texts.empty());
}

TEST_F(TimingsExtension, AskingHoldsForTheConnectionItCameOn) {
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    h.tcp.raiseClosed();
    tarrow::connectController(h);  // a controller that does not ask
    h.tcp.writes.clear();
    h.tcp.raiseReadable(kCredentials);
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
}

TEST_F(TimingsExtension, CredentialPacketReadTogetherWithTheRequestIsStillRun) {
    h.tcp.raiseReadable(std::string(timings::kRequestPacket) + kCredentials);
    ASSERT_EQ(h.tcp.writes.size(), 1U);
    EXPECT_EQ(newLog(), Lines{"Received: Ualice,secret,Tree,Users.Vantric,srv1 from Controller"});
    EXPECT_TRUE(h.timeEvent.enabled());
    h.advance(5000);
    ASSERT_EQ(h.tcp.writes.size(), 2U);
    recordOf(h.tcp.writes[1], "R1");
}

TEST_F(TimingsExtension, LagCountsFromWhenTheTimerWasDueAfterARestartedInterval) {
    h.random.script = {2};  // the next draw: 3 s
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    h.tcp.raiseReadable(kCredentials);  // armed at 0 s, due at 5 s
    h.advance(1000);
    // The armed timer survives the loss; the new connection draws 3 s for the running
    // timer, which starts afresh: due at 1 + 3 = 4 s. The new controller's credential packet
    // keeps that delay, and the reply is owed to it (the old connection's is not).
    h.tcp.raiseClosed();
    tarrow::connectController(h);
    h.tcp.raiseReadable(std::string(timings::kRequestPacket));
    h.tcp.raiseReadable(kCredentials);
    h.tcp.writes.clear();
    h.advance(3000);
    ASSERT_EQ(h.tcp.writes.size(), 1U);
    EXPECT_EQ(recordOf(h.tcp.writes[0], "R1").lagUs, 0);
}

}  // namespace
