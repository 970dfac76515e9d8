// The controller link on its own, over the scripted sockets: what it sends, what it reports.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "client/net/controller_link.h"
#include "tests/support/fake_tcp_transport.h"
#include "tests/support/fake_udp.h"

namespace {

using Events = std::vector<std::string>;

class ControllerLinkTest : public ::testing::Test {
protected:
    ControllerLinkTest() {
        link.setHandlers({
            [this](const std::string& text, const std::string& fromIp, std::uint16_t) {
                events.push_back("datagram:" + text + "@" + fromIp);
            },
            [this] { events.push_back("connected"); },
            [this] { events.push_back("lost"); },
            [this](const std::string& bytes) { events.push_back("packet:" + bytes); },
            [this](const std::string& text) { events.push_back("error:" + text); },
        });
    }

    tarrow::FakeUdpSender sender;
    tarrow::FakeUdpReceiver receiver;
    tarrow::FakeTcpTransport transport;
    Events events;
    std::vector<std::string> guarded;  // texts of the errors the guard caught
    tarrow::ControllerLink link{sender, receiver, transport, [this](const std::function<void()>& event) {
                                    try {
                                        event();
                                    } catch (const std::exception& e) {
                                        guarded.push_back(e.what());
                                    }
                                }};
};

TEST_F(ControllerLinkTest, AnnouncesExactlyTheEightLettersToTheHostItWasGiven) {
    link.setAnnounceHost("127.255.255.255");
    link.announce();
    ASSERT_EQ(sender.sent.size(), 1U);
    EXPECT_EQ(sender.sent[0], (tarrow::FakeUdpSender::Datagram{"127.255.255.255", 2308, "DISCOVER"}));
    EXPECT_EQ(link.announceHost(), "127.255.255.255");
}

TEST_F(ControllerLinkTest, AnAnswerOpensTheControlConnectionToItsSenderThenIsReported) {
    receiver.inject("DISCOVER", "127.0.0.9");
    ASSERT_EQ(transport.connects.size(), 1U);
    EXPECT_EQ(transport.connects[0], (tarrow::FakeTcpTransport::Endpoint{"127.0.0.9", 2308}));
    EXPECT_EQ(events, Events{"datagram:DISCOVER@127.0.0.9"});
    transport.raiseConnected();
    transport.raiseReadable("Ua,b,c,d,e");
    transport.raiseClosed();
    EXPECT_EQ(events, (Events{"datagram:DISCOVER@127.0.0.9", "connected", "packet:Ua,b,c,d,e", "lost"}));
}

TEST_F(ControllerLinkTest, OtherDatagramsAreReportedAsTheBufferHoldsThemAndConnectNothing) {
    receiver.inject(std::string("DISCOVERS\0x", 11), "127.0.0.9");
    receiver.inject(std::string(1600, 'x'), "127.0.0.9");
    EXPECT_TRUE(transport.connects.empty());
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0], "datagram:DISCOVERS@127.0.0.9");
    EXPECT_EQ(events[1], "datagram:" + std::string(1499, 'x') + "@127.0.0.9");
}

TEST_F(ControllerLinkTest, ARefusedHostChangeReachesTheGuardAndIsNotReported) {
    receiver.inject("DISCOVER", "127.0.0.9");
    transport.raiseConnected();
    events.clear();
    receiver.inject("DISCOVER", "127.0.0.77");
    EXPECT_EQ(guarded, std::vector<std::string>{"Can't change value while socket is active"});
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(link.socket().host(), "127.0.0.9");
}

TEST_F(ControllerLinkTest, RepliesAreCutToWhatTheLinkBufferHolds) {
    receiver.inject("DISCOVER", "127.0.0.9");
    transport.raiseConnected();
    link.sendReply("R0" + std::string(2000, 'e'));
    link.sendReply(std::string("R1\0junk", 7));
    ASSERT_EQ(transport.writes.size(), 2U);
    EXPECT_EQ(transport.writes[0].size(), 1499U);
    EXPECT_EQ(transport.writes[1], "R1");
}

TEST_F(ControllerLinkTest, AFailedAttemptIsReportedAsAnError) {
    receiver.inject("DISCOVER", "127.0.0.9");
    transport.raiseConnectFailed("Connection refused");
    EXPECT_EQ(events.back(), "error:Can't connect to 127.0.0.9:2308: Connection refused");
}

TEST_F(ControllerLinkTest, AfterDetachNothingIsReportedAndTheConnectionIsClosedSilently) {
    receiver.inject("DISCOVER", "127.0.0.9");
    transport.raiseConnected();
    events.clear();
    link.detach();
    EXPECT_FALSE(receiver.hasHandler());
    EXPECT_FALSE(transport.open);
    transport.raiseClosed();
    EXPECT_TRUE(events.empty());
}

}  // namespace
