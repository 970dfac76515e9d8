// The UDP adapters with real sockets on loopback. Receivers take any free port.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/qt/qt_udp_receiver.h"
#include "client/qt/qt_udp_sender.h"
#include "tests/qt/qt_test_support.h"

using tarrow::qt::QtUdpReceiver;
using tarrow::qt::QtUdpSender;
using tarrow::qt::test::pumpFor;
using tarrow::qt::test::pumpUntil;

namespace {

struct Received {
    std::string bytes;
    std::string fromIp;
    std::uint16_t fromPort;
};

struct Listener {
    QtUdpReceiver receiver{0};
    std::vector<Received> got;
    Listener() {
        receiver.setHandler([this](const std::string& bytes, const std::string& fromIp, std::uint16_t fromPort) {
            got.push_back({bytes, fromIp, fromPort});
        });
    }
};

}  // namespace

TEST(QtUdp, DefaultPortsAreThoseOfTheProtocol) {
    QtUdpSender sender;
    EXPECT_EQ(sender.remotePort(), 2308);
    EXPECT_EQ(QtUdpReceiver::kDefaultLocalPort, 2309);
}

TEST(QtUdp, DeliversTheWholeDatagramWithTheSendersDottedAddress) {
    Listener listener;
    ASSERT_NE(listener.receiver.localPort(), 0);
    QtUdpSender sender(listener.receiver.localPort());
    sender.setRemoteHost("127.0.0.1");
    EXPECT_EQ(sender.remoteHost(), "127.0.0.1");
    const std::string withZero("DISCOVER\0tail", 13);
    sender.send(withZero);
    ASSERT_TRUE(pumpUntil([&] { return !listener.got.empty(); }, 5000));
    EXPECT_EQ(listener.got[0].bytes, withZero);
    EXPECT_EQ(listener.got[0].fromIp, "127.0.0.1");
    EXPECT_NE(listener.got[0].fromPort, 0);
}

TEST(QtUdp, SeveralWaitingDatagramsEachArriveInOrderEmptyOnesIncluded) {
    Listener listener;
    QtUdpSender sender(listener.receiver.localPort());
    sender.setRemoteHost("127.0.0.1");
    sender.send("one");
    sender.send("");
    sender.send("three");
    ASSERT_TRUE(pumpUntil([&] { return listener.got.size() >= 3; }, 5000));
    ASSERT_EQ(listener.got.size(), 3u);
    EXPECT_EQ(listener.got[0].bytes, "one");
    EXPECT_EQ(listener.got[1].bytes, "");
    EXPECT_EQ(listener.got[2].bytes, "three");
}

TEST(QtUdp, SendsToTheLoopbackDirectedBroadcast) {
    Listener listener;
    QtUdpSender sender(listener.receiver.localPort());
    sender.setRemoteHost("127.255.255.255");
    sender.send("DISCOVER");
    ASSERT_TRUE(pumpUntil([&] { return !listener.got.empty(); }, 5000));
    EXPECT_EQ(listener.got[0].bytes, "DISCOVER");
}

TEST(QtUdp, ResolvesAHostNameBeforeEachSend) {
    Listener listener;
    QtUdpSender sender(listener.receiver.localPort());
    sender.setRemoteHost("localhost");
    sender.send("by name");
    ASSERT_TRUE(pumpUntil([&] { return !listener.got.empty(); }, 5000));
    EXPECT_EQ(listener.got[0].bytes, "by name");
    EXPECT_EQ(listener.got[0].fromIp, "127.0.0.1");
}

TEST(QtUdp, AnUnresolvableHostThrowsSocketErrorNamingIt) {
    QtUdpSender sender(9);
    for (const std::string host : {"no-such-host.invalid", ""}) {
        sender.setRemoteHost(host);
        try {
            sender.send("DISCOVER");
            ADD_FAILURE() << "no error for \"" << host << "\"";
        } catch (const tarrow::SocketError& e) {
            EXPECT_NE(std::string(e.what()).find("\"" + host + "\""), std::string::npos) << e.what();
        }
    }
}

TEST(QtUdp, ABoundPortCannotBeBoundAgainAndSaysWhich) {
    Listener first;
    const std::uint16_t port = first.receiver.localPort();
    try {
        QtUdpReceiver second(port);
        ADD_FAILURE() << "second bind succeeded";
    } catch (const tarrow::SocketError& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(port)), std::string::npos) << e.what();
    }
}

TEST(QtUdp, AHandlerThatThrowsDoesNotStopDelivery) {
    QtUdpReceiver receiver(0);
    int calls = 0;
    receiver.setHandler([&calls](const std::string&, const std::string&, std::uint16_t) {
        ++calls;
        throw std::runtime_error("handler failed");
    });
    QtUdpSender sender(receiver.localPort());
    sender.setRemoteHost("127.0.0.1");
    sender.send("a");
    sender.send("b");
    EXPECT_TRUE(pumpUntil([&] { return calls >= 2; }, 5000));
}
