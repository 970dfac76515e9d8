// Discovery: the announcing timer and the answers that open the control channel.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qds/fake/qdsfake.h"
#include "tests/support/form_harness.h"

namespace {

using tarrow::FakeUdpSender;
using tarrow::FormHarness;
using Lines = std::vector<std::string>;

class Discovery : public ::testing::Test {
protected:
    void SetUp() override { qdsfake_reset(); }
    FormHarness h{FormHarness::withIni("[General]\nLocal Broadcast=127.255.255.255\n")};
};

TEST_F(Discovery, FirstAnnouncementOneIntervalAfterStartThenEveryFiveSeconds) {
    h.advance(4999);
    EXPECT_TRUE(h.sktOutput.sent.empty());
    h.advance(1);
    ASSERT_EQ(h.sktOutput.sent.size(), 1U);
    EXPECT_EQ(h.sktOutput.sent[0], (FakeUdpSender::Datagram{"127.255.255.255", 2308, "DISCOVER"}));
    EXPECT_EQ(h.sktOutput.sent[0].bytes.size(), 8U);
    EXPECT_EQ(h.log(), (Lines{"Discovery Timer", "127.255.255.255"}));
    h.advance(10000);
    EXPECT_EQ(h.sktOutput.sent.size(), 3U);
    EXPECT_EQ(h.log().size(), 6U);
}

TEST_F(Discovery, UnresolvableBroadcastHostIsReportedAndTheNextTickTriesAgain) {
    h.sktOutput.unresolvable.insert("127.255.255.255");
    h.advance(5000);
    EXPECT_EQ(h.errorReport.texts.size(), 1U);
    h.sktOutput.unresolvable.clear();
    h.advance(5000);
    EXPECT_EQ(h.sktOutput.sent.size(), 1U);
}

TEST_F(Discovery, ExactAnswerOpensControlChannelToSender) {
    h.sktInput.inject("DISCOVER", "127.0.0.9", 40000);
    ASSERT_EQ(h.tcp.connects.size(), 1U);
    EXPECT_EQ(h.tcp.connects[0], (tarrow::FakeTcpTransport::Endpoint{"127.0.0.9", 2308}));
    EXPECT_EQ(h.log(), (Lines{"Data Received", "Received: DISCOVER from 127.0.0.9"}));
    EXPECT_EQ(h.form().sktTCP.host(), "127.0.0.9");
}

TEST_F(Discovery, NearMissesAreOnlyLogged) {
    for (const std::string bytes : {"discover", "DISCOVERS", "DISCOVER\n", "DISCOVE", " DISCOVER"})
        h.sktInput.inject(bytes, "127.0.0.9");
    EXPECT_TRUE(h.tcp.connects.empty());
    ASSERT_EQ(h.log().size(), 10U);
    EXPECT_EQ(h.log()[1], "Received: discover from 127.0.0.9");
    EXPECT_EQ(h.log()[5], "Received: DISCOVER\n from 127.0.0.9");
}

TEST_F(Discovery, BytesAfterAZeroAreNotLookedAt) {
    h.sktInput.inject(std::string("DISCOVER\0xyz", 12), "127.0.0.9");
    EXPECT_EQ(h.tcp.connects.size(), 1U);
    EXPECT_EQ(h.log().back(), "Received: DISCOVER from 127.0.0.9");
}

TEST_F(Discovery, EmptyDatagramLogsTwoBlanksBeforeFrom) {
    h.sktInput.inject("", "127.0.0.9");
    EXPECT_EQ(h.log(), (Lines{"Data Received", "Received:  from 127.0.0.9"}));
    EXPECT_TRUE(h.tcp.connects.empty());
}

TEST_F(Discovery, LongDatagramIsCutToItsFirst1499Bytes) {
    h.sktInput.inject(std::string(1600, 'x'), "127.0.0.9");
    EXPECT_EQ(h.log().back(), "Received: " + std::string(1499, 'x') + " from 127.0.0.9");
    // A cut datagram cannot become an answer: its text is far longer than eight letters.
    EXPECT_TRUE(h.tcp.connects.empty());
}

TEST_F(Discovery, ConnectedChannelStopsAndLossRestartsAnnouncements) {
    tarrow::connectController(h);
    EXPECT_FALSE(h.timeDiscover.enabled());
    h.advance(20000);
    EXPECT_TRUE(h.sktOutput.sent.empty());
    h.tcp.raiseClosed();
    EXPECT_TRUE(h.timeDiscover.enabled());
    h.advance(5000);
    EXPECT_EQ(h.sktOutput.sent.size(), 1U);
}

TEST_F(Discovery, AnswerFromSameAddressWhileConnectedOnlyLogs) {
    tarrow::connectController(h);
    const std::size_t before = h.log().size();
    h.sktInput.inject("DISCOVER", tarrow::kControllerIp);
    EXPECT_EQ(h.tcp.connects.size(), 1U);
    EXPECT_TRUE(h.errorReport.texts.empty());
    EXPECT_EQ(tarrow::logSince(h, before),
              (Lines{"Data Received", std::string("Received: DISCOVER from ") + tarrow::kControllerIp}));
}

TEST_F(Discovery, AnswerFromAnotherAddressWhileConnectedIsRefusedAndChannelStays) {
    tarrow::connectController(h);
    const std::size_t before = h.log().size();
    h.sktInput.inject("DISCOVER", "127.0.0.77");
    EXPECT_EQ(h.errorReport.texts, Lines{"Can't change value while socket is active"});
    EXPECT_EQ(h.log().size(), before);
    EXPECT_TRUE(h.form().sktTCP.connected());
    EXPECT_EQ(h.form().sktTCP.host(), tarrow::kControllerIp);
    EXPECT_EQ(h.tcp.connects.size(), 1U);
}

TEST_F(Discovery, FailedAttemptIsReportedAndTheNextAnswerTriesAgain) {
    h.sktInput.inject("DISCOVER", "127.0.0.9");
    h.tcp.raiseConnectFailed("Connection refused");
    ASSERT_EQ(h.errorReport.texts.size(), 1U);
    EXPECT_NE(h.errorReport.texts[0].find("Connection refused"), std::string::npos);
    EXPECT_TRUE(h.timeDiscover.enabled());
    h.sktInput.inject("DISCOVER", "127.0.0.9");
    EXPECT_EQ(h.tcp.connects.size(), 2U);
}

}  // namespace
