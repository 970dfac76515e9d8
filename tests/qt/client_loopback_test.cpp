// The window with its real Qt sockets against a small controller inside the test, all on
// 127.0.0.1 with the protocol's fixed ports, and a private directory server behind it.
#include <QApplication>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "client/qt/window_wiring.h"
#include "tests/qt/qt_test_support.h"
#include "tests/slapd/private_slapd.h"

using tarrow::qt::test::pumpUntil;

namespace {

struct RecordingReport final : tarrow::ErrorReport {
    std::vector<std::string> shown;
    void show(const std::string& text) override { shown.push_back(text); }
};

// The controller's side: answers announcements and accepts the control connection.
struct ControllerPeer {
    QUdpSocket discovery;
    QTcpServer listener;
    QTcpSocket* connection = nullptr;

    bool start() {
        return discovery.bind(QHostAddress::AnyIPv4, 2308) && listener.listen(QHostAddress::LocalHost, 2308);
    }
    // Waits for one announcement; returns its bytes and answers it.
    std::string answerNextAnnouncement() {
        if (!pumpUntil([&] { return discovery.hasPendingDatagrams(); }, 10000)) return "(none)";
        const QNetworkDatagram datagram = discovery.receiveDatagram();
        discovery.writeDatagram("DISCOVER", datagram.senderAddress(), 2309);
        return datagram.data().toStdString();
    }
    std::string reply(int timeoutMs) {
        pumpUntil([&] { return connection->bytesAvailable() > 0; }, timeoutMs);
        return connection->readAll().toStdString();
    }
};

}  // namespace

TEST(ClientLoopback, DiscoversLogsInOnCredentialPacketsRepliesAndResumesDiscoveryWhenLost) {
    tarrow::test::PrivateSlapd slapd(std::vector<tarrow::test::SeedUser>{{"alice", "secret"}});
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string ini = dir.filePath("Tarrow.ini").toStdString();
    std::ofstream(ini) << "[General]\nLocal Broadcast=127.255.255.255\nMaxDelay=1\n";

    ControllerPeer peer;
    ASSERT_TRUE(peer.start()) << peer.discovery.errorString().toStdString() << " / "
                              << peer.listener.errorString().toStdString();

    tarrow::qt::TarrowWindow window;
    tarrow::qt::ClientPlatform platform;
    RecordingReport report;
    TfrmTrwMain form(tarrow::qt::windowPorts(window, platform, report, ini));
    tarrow::qt::connectForm(window, form);
    window.show();
    EXPECT_EQ(window.controls().status.simpleText(), "127.255.255.255 | 2308 | 2309");
    // Announce every 100 ms instead of every 5 s, so that the test is quick.
    platform.timeDiscover.setIntervalMs(100);

    EXPECT_EQ(peer.answerNextAnnouncement(), "DISCOVER");
    ASSERT_TRUE(pumpUntil([&] { return peer.listener.hasPendingConnections(); }, 10000));
    peer.connection = peer.listener.nextPendingConnection();
    ASSERT_TRUE(pumpUntil([&] { return !window.edtUser->isEnabled(); }, 10000));
    EXPECT_EQ(window.controls().status.simpleText(), "Connected to: localhost:2308");
    EXPECT_FALSE(platform.timeDiscover.enabled());

    const std::string tail = "," + slapd.tree() + "," + slapd.kContext + ",srv";
    peer.connection->write(("Ualice,secret" + tail).c_str());
    EXPECT_EQ(peer.reply(10000), "R1");
    EXPECT_EQ(window.edtUser->text(), "alice");
    EXPECT_NE(window.memDebug->toPlainText().toStdString().find("Received: Ualice,secret" + tail +
                                                                " from Controller"),
              std::string::npos);

    peer.connection->write(("Ualice,wrong" + tail).c_str());
    const std::string refused = peer.reply(10000);
    EXPECT_EQ(refused.rfind("R0QVDSLogin returned ", 0), 0u) << refused;

    peer.connection->disconnectFromHost();
    ASSERT_TRUE(pumpUntil([&] { return window.edtUser->isEnabled(); }, 10000));
    EXPECT_EQ(window.controls().status.simpleText(), "Connection Lost: 127.0.0.1:2308");
    EXPECT_TRUE(platform.timeDiscover.enabled());
    while (peer.discovery.hasPendingDatagrams()) peer.discovery.receiveDatagram();
    EXPECT_EQ(peer.answerNextAnnouncement(), "DISCOVER");
    EXPECT_TRUE(report.shown.empty()) << report.shown.front();
}
