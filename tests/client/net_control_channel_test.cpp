// The control channel: connect and lost handling, packet dispatch and the reply's send rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qds/fake/qdsfake.h"
#include "tests/support/connected_client_test.h"
#include "tests/support/form_harness.h"

namespace {

using tarrow::FormHarness;
using tarrow::WriteResult;
using Lines = std::vector<std::string>;

using ControlChannel = tarrow::ConnectedClientTest;

TEST_F(ControlChannel, ConnectShowsPeerNameStopsDiscoveryDrawsDelayAndLocks) {
    EXPECT_EQ(h.status(), "Connected to: localhost:2308");
    EXPECT_EQ(h.hostNames.lookups, std::vector<std::string>{"127.0.0.1"})
        << "one lookup, of the peer's address";
    EXPECT_FALSE(h.timeDiscover.enabled());
    EXPECT_EQ(h.timeEvent.intervalMs(), 5000);
    EXPECT_EQ(h.lblFuncTimer.text(), "Next event in 4 second(s)");
    EXPECT_FALSE(h.edtUser.enabled());
    EXPECT_FALSE(h.btnExecute.enabled());
    // lockInputs runs after the draw and sets the count to the interval in seconds.
    EXPECT_EQ(h.form().nextEventSeconds, 5);
    EXPECT_FALSE(h.timeEvent.enabled());
}

TEST(ControlChannelPeer, UnnamedPeerLeavesColonDirectlyAfterPrefix) {
    qdsfake_reset();
    FormHarness h;
    h.hostNames.names.clear();
    tarrow::connectController(h);
    EXPECT_EQ(h.status(), "Connected to: :2308");
}

TEST_F(ControlChannel, LossShowsAddressRestartsDiscoveryAndUnlocks) {
    h.tcp.raiseClosed();
    EXPECT_EQ(h.status(), "Connection Lost: 127.0.0.1:2308");
    EXPECT_TRUE(h.timeDiscover.enabled());
    EXPECT_TRUE(h.edtUser.enabled());
    EXPECT_TRUE(h.btnExecute.enabled());
    EXPECT_FALSE(h.lblFuncTimer.visible());
    EXPECT_TRUE(h.errorReport.texts.empty());
}

TEST_F(ControlChannel, ResetByPeerCountsAsLostAndIsReported) {
    h.tcp.raiseClosed("Connection reset by peer");
    EXPECT_EQ(h.status(), "Connection Lost: 127.0.0.1:2308");
    EXPECT_TRUE(h.timeDiscover.enabled());
    ASSERT_EQ(h.errorReport.texts.size(), 1U);
    EXPECT_NE(h.errorReport.texts[0].find("Connection reset by peer"), std::string::npos);
    h.advance(5000);
    EXPECT_EQ(h.sktOutput.sent.size(), 1U);
}

TEST_F(ControlChannel, CredentialPacketLogsSetsUserFillsBoxesAndArms) {
    h.tcp.raiseReadable("Ualice,secret;Tree Users.Vantric,srv1");
    EXPECT_EQ(newLog(), Lines{"Received: Ualice,secret;Tree Users.Vantric,srv1 from Controller"});
    EXPECT_EQ(h.form().user->userName, "alice");
    EXPECT_EQ(h.edtUser.text(), "alice");
    EXPECT_EQ(h.edtPasswd.text(), "secret");
    EXPECT_EQ(h.edtTree.text(), "Tree");
    EXPECT_EQ(h.edtContext.text(), "Users.Vantric");
    EXPECT_EQ(h.edtServer.text(), "srv1");
    EXPECT_TRUE(h.timeCountdown.enabled());
    EXPECT_TRUE(h.timeEvent.enabled());
}

TEST_F(ControlChannel, TypeLetterAloneIsRejectedAndNothingArms) {
    h.edtUser.setText("kept");
    h.tcp.raiseReadable("U");
    EXPECT_EQ(newLog(),
              (Lines{"Received: U from Controller", "***DSUser ERROR: setUserInfo() - Insufficient data"}));
    EXPECT_EQ(h.edtUser.text(), "kept");
    EXPECT_FALSE(h.timeEvent.enabled());
    EXPECT_FALSE(h.timeCountdown.enabled());
}

TEST_F(ControlChannel, TwoPacketsInOneReadAreOnePacket) {
    h.tcp.raiseReadable("Ua,b,c,d,e\r\nUf,g,h,i,j\r\n");
    // One log line, whose line ends are shown rather than written out.
    EXPECT_EQ(newLog(), Lines{"Received: Ua,b,c,d,e\\x0D\\x0AUf,g,h,i,j\\x0D\\x0A from Controller"});
    // Everything after the first letter went to the parser as one credential line.
    EXPECT_EQ(h.form().user->userName, "a");
    EXPECT_EQ(h.form().user->context, "d");
    EXPECT_EQ(h.form().user->server.rfind("e", 0), 0U);
}

TEST_F(ControlChannel, OtherAndLowerCaseLettersAreUnknownAndFPacketsChangeNothing) {
    h.edtUser.setText("kept");
    h.tcp.raiseReadable("u,a,b,c,d,e");
    h.tcp.raiseReadable("f");
    h.tcp.raiseReadable("Xyz");
    h.tcp.raiseReadable("Fa,b,c,d,e");
    h.tcp.raiseReadable("F");
    h.tcp.raiseReadable("");  // an empty read carries no packet
    EXPECT_EQ(newLog(), Lines(3, "***ERROR: Unknown Packet Type!"));
    EXPECT_EQ(h.edtUser.text(), "kept");
    EXPECT_FALSE(h.timeEvent.enabled());
    EXPECT_TRUE(h.errorReport.texts.empty());
}

TEST_F(ControlChannel, DirectEmptyPacketIsIgnored) {
    EXPECT_NO_THROW(h.form().handlePacket(""));
    EXPECT_TRUE(newLog().empty());
}

TEST_F(ControlChannel, CompletedEventRepliesR1WithoutTerminator) {
    h.tcp.raiseReadable("Ualice,secret,Tree,Users.Vantric,srv1");
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
}

TEST_F(ControlChannel, SendFailureClosesThroughLostHandlingAndLogsErrorLine) {
    h.tcp.raiseReadable("Ualice,secret,Tree,Users.Vantric,srv1");
    h.tcp.failNextWrite(WriteResult::Failed, "Broken pipe");
    h.advance(5000);
    EXPECT_TRUE(h.tcp.writes.empty());
    EXPECT_EQ(newLog().back(), "***ERROR occured while trying to send data");
    EXPECT_EQ(h.status(), "Connection Lost: 127.0.0.1:2308");
    EXPECT_TRUE(h.timeDiscover.enabled());
    EXPECT_TRUE(h.edtUser.enabled());
    EXPECT_FALSE(h.form().sktTCP.active());
    // The tick went on to draw the next delay.
    EXPECT_EQ(h.lblFuncTimer.text(), "Next event in 4 second(s)");
    EXPECT_TRUE(h.errorReport.texts.empty());
}

TEST_F(ControlChannel, SendThatWouldBlockIsLoggedNotDropped) {
    h.tcp.raiseReadable("Ualice,secret,Tree,Users.Vantric,srv1");
    h.tcp.failNextWrite(WriteResult::WouldBlock);
    h.advance(5000);
    EXPECT_EQ(newLog().back(), "***ERROR occured while trying to send data");
    EXPECT_TRUE(h.form().sktTCP.connected());
}

// A credential's login belongs to the connection it came on. A controller that went away while
// the event was armed is owed nothing on the connection to the next one: that controller never
// sent this credential and would take a reply for bytes without a packet.
TEST_F(ControlChannel, EventArmedBeforeAReconnectRepliesOnlyForTheConnectionItsCredentialCameOn) {
    h.tcp.raiseReadable("Ualice,secret,Tree,Users.Vantric,srv1");
    h.advance(1000);
    h.tcp.raiseClosed("Connection reset by peer");
    tarrow::connectController(h);  // a new controller answered before the event was due
    ASSERT_TRUE(h.form().sktTCP.connected());
    const std::size_t before = h.log().size();
    h.advance(5000);
    EXPECT_TRUE(h.tcp.writes.empty()) << h.tcp.writes.front();
    EXPECT_EQ(tarrow::logSince(h, before), Lines{}) << "the login ran as before, with no new log line";
    EXPECT_TRUE(h.form().sktTCP.connected());

    // The new controller's own credential is answered on its connection.
    h.tcp.raiseReadable("Ubob,pw,Tree,Users.Vantric,srv1");
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
}

TEST_F(ControlChannel, ACredentialOfTheNewConnectionTakesOverAnEventArmedOnTheOldOne) {
    h.tcp.raiseReadable("Ualice,secret,Tree,Users.Vantric,srv1");
    h.tcp.raiseClosed();
    tarrow::connectController(h);
    // The armed timer keeps its delay; the login it runs is now the new connection's.
    h.tcp.raiseReadable("Ubob,pw,Tree,Users.Vantric,srv1");
    h.advance(5000);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
    EXPECT_EQ(h.form().user->userName, "bob");
}

TEST_F(ControlChannel, ARejectedPacketOnTheNewConnectionDoesNotAdoptTheOldEvent) {
    h.tcp.raiseReadable("Ualice,secret,Tree,Users.Vantric,srv1");
    h.tcp.raiseClosed();
    tarrow::connectController(h);
    h.tcp.raiseReadable("U");  // "Insufficient data": the user stays alice, from the old connection
    h.advance(5000);
    EXPECT_TRUE(h.tcp.writes.empty());
}

}  // namespace
