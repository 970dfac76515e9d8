// TarrowCtrl as a real program on real loopback sockets.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>

namespace {

const QHostAddress kLoopback(QHostAddress::LocalHost);

class CtrlProcess {
public:
    CtrlProcess() {
        std::ofstream(dir.filePath("TarrowCtrl.ini").toStdString())
            << "[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=users.csv\r\n";
        std::ofstream(dir.filePath("users.csv").toStdString())
            << "u1,pw,127.0.0.1,Users.Vantric,NotUsed,1\r\nu2,pw,127.0.0.1,Users.Vantric,NotUsed,1\r\n"
               "u3,pw,127.0.0.1,Users.Vantric,NotUsed,1\r\n";
    }
    ~CtrlProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    // Starts with ports 0 and waits (bounded) for the line that gives the ports. Unless
    // askTimings, the controller speaks the plain channel only (--no-timings).
    bool start(QStringList extra, std::uint16_t answerPort = 45998, bool askTimings = false) {
        QStringList args{
            "--ini",         dir.filePath("TarrowCtrl.ini"), "--control-port", "0", "--discovery-port", "0",
            "--answer-port", QString::number(answerPort),    "--quiet"};
        if (!askTimings) args << "--no-timings";
        process.start(TARROW_CTRL_PATH, args + extra);
        if (!process.waitForStarted(5000)) return false;
        const QRegularExpression re("TCP port (\\d+), discovery on UDP port (\\d+)");
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            process.waitForReadyRead(200);
            err += process.readAllStandardError();
            const auto m = re.match(QString::fromLatin1(err));
            if (m.hasMatch()) {
                tcpPort = static_cast<std::uint16_t>(m.captured(1).toUInt());
                udpPort = static_cast<std::uint16_t>(m.captured(2).toUInt());
                return true;
            }
            if (process.state() == QProcess::NotRunning) return false;
        }
        return false;
    }
    bool finish(int ms = 10000) {
        const bool ok = process.waitForFinished(ms);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return ok;
    }
    QTemporaryDir dir;
    QProcess process;
    QByteArray err, out;
    std::uint16_t tcpPort = 0, udpPort = 0;
};

std::unique_ptr<QTcpSocket> connectTo(std::uint16_t port) {
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(kLoopback, port);
    EXPECT_TRUE(s->waitForConnected(3000)) << s->errorString().toStdString();
    return s;
}

QByteArray readPacket(QTcpSocket& s) {
    if (!s.bytesAvailable()) s.waitForReadyRead(3000);
    return s.readAll();
}

bool closedByPeer(QTcpSocket& s) {
    return s.state() == QAbstractSocket::UnconnectedState || s.waitForDisconnected(3000);
}

// One TCP socket of this machine on loopback as /proc/net/tcp shows it.
struct TcpEntry {
    int state = 0;         // 1 established, 8 close-wait (the peer closed, the program has not)
    unsigned long tx = 0;  // bytes sent and not yet acknowledged by the peer
    unsigned long rx = 0;  // bytes received and not yet read by the program
};

std::optional<TcpEntry> tcpEntry(quint16 localPort, quint16 remotePort) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        unsigned local = 0, remote = 0, state = 0;
        unsigned long tx = 0, rx = 0;
        if (std::sscanf(line.c_str(), " %*d: %*8x:%4x %*8x:%4x %2x %8lx:%8lx", &local, &remote, &state, &tx,
                        &rx) == 5 &&
            local == localPort && remote == remotePort)
            return TcpEntry{static_cast<int>(state), tx, rx};
    }
    return std::nullopt;
}

// Waits (bounded) until every byte the client wrote has reached the controller's socket and
// the controller has read it: the two segments of a reply are then surely two reads.
bool controllerHasRead(QTcpSocket& client, std::uint16_t controlPort) {
    client.flush();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        const auto sent = tcpEntry(client.localPort(), controlPort);
        const auto received = tcpEntry(controlPort, client.localPort());
        if (client.bytesToWrite() == 0 && sent && sent->tx == 0 && received && received->rx == 0) return true;
        QThread::msleep(1);
    }
    return false;
}

// Waits (bounded) until the controller has closed its side of a connection the client closed.
bool controllerClosed(std::uint16_t clientPort, std::uint16_t controlPort) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        const auto entry = tcpEntry(controlPort, clientPort);
        if (!entry || (entry->state != 1 && entry->state != 8)) return true;
        QThread::msleep(1);
    }
    return false;
}

class CtrlProcessTest : public ::testing::Test {};

TEST_F(CtrlProcessTest, VanishingAndGarbageClientsAreDroppedWhileAnotherGoesOnUntilCount) {
    CtrlProcess ctrl;
    const QString csv = ctrl.dir.filePath("replies.csv");
    // No quiet period can end the split error reply below: only its client's close does, so the
    // test does not depend on how fast this machine is.
    ASSERT_TRUE(ctrl.start({"--count", "4", "--csv", csv, "--reply-quiet-ms", "60000"}))
        << ctrl.err.toStdString();

    auto vanishing = connectTo(ctrl.tcpPort);
    EXPECT_EQ(readPacket(*vanishing), "Uu1,pw,127.0.0.1,Users.Vantric,NotUsed");
    vanishing->abort();
    QThread::msleep(200);  // time for the controller to see the reset before the next connects

    // The vanished client's credential goes out once more, to the next packet.
    auto garbage = connectTo(ctrl.tcpPort);
    EXPECT_EQ(readPacket(*garbage), "Uu1,pw,127.0.0.1,Users.Vantric,NotUsed");
    garbage->write("HELLO");
    EXPECT_TRUE(closedByPeer(*garbage));

    // ... but only once: the file goes on.
    auto good = connectTo(ctrl.tcpPort);
    EXPECT_EQ(readPacket(*good), "Uu2,pw,127.0.0.1,Users.Vantric,NotUsed");
    good->write("R1");
    EXPECT_EQ(readPacket(*good), "Uu3,pw,127.0.0.1,Users.Vantric,NotUsed");
    good->write("R-9999");
    EXPECT_EQ(readPacket(*good), "Uu1,pw,127.0.0.1,Users.Vantric,NotUsed");

    // An error reply that arrives in two reads is one reply, and still counts when its client
    // closes right after it.
    auto splitting = connectTo(ctrl.tcpPort);
    EXPECT_EQ(readPacket(*splitting), "Uu2,pw,127.0.0.1,Users.Vantric,NotUsed");
    splitting->write("R0login() - ");
    ASSERT_TRUE(controllerHasRead(*splitting, ctrl.tcpPort));
    splitting->write("-601");
    ASSERT_TRUE(controllerHasRead(*splitting, ctrl.tcpPort));
    const quint16 splittingPort = splitting->localPort();
    splitting->disconnectFromHost();
    ASSERT_TRUE(controllerClosed(splittingPort, ctrl.tcpPort));

    good->write("R1");
    EXPECT_TRUE(closedByPeer(*good)) << "the fourth reply ends the run";

    ASSERT_TRUE(ctrl.finish());
    EXPECT_EQ(ctrl.process.exitCode(), 0);
    const std::string out = ctrl.out.toStdString();
    for (const char* expected :
         {"stopped by:        --count 4 replies reached",
          "4 accepted, 0 refused, 2 closed by the client, 1 dropped", "1 not a reply packet",
          "replies:           4", "success (R1):    2", "failed (R-code): 1", "error (R0 text): 1",
          "1  login() - -601", "success rate:      50.00 %",
          "indeterminate:     2 logins without a reply (1 credentials handed out again)"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    EXPECT_NE(ctrl.err.indexOf("not a reply packet"), -1) << ctrl.err.toStdString();

    std::ifstream in(csv.toStdString());
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_NE(lines[2].find(",u3,failed,-9999,,"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(",u2,error,,login() - -601,"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find(",u1,success,1,,"), std::string::npos) << lines[4];
}

// The client replies and resets the connection at once, so the controller's next packet
// fails to send: that client is gone, and its packet must not hold back the others.
TEST_F(CtrlProcessTest, ClientThatResetsRightAfterItsReplyIsForgottenAndOthersGoOn) {
    CtrlProcess ctrl;
    ASSERT_TRUE(ctrl.start({"--count", "3"})) << ctrl.err.toStdString();
    const auto pid = static_cast<pid_t>(ctrl.process.processId());

    auto resetting = connectTo(ctrl.tcpPort);
    EXPECT_EQ(readPacket(*resetting).left(3), "Uu1");
    ::kill(pid, SIGSTOP);  // the reply and the reset both wait for the controller
    resetting->write("R1");
    resetting->flush();
    const linger abortive{1, 0};
    ::setsockopt(static_cast<int>(resetting->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                 sizeof abortive);
    resetting->abort();
    QThread::msleep(100);
    ::kill(pid, SIGCONT);

    // The reset usually leaves the reply readable (then the next send fails), sometimes the
    // kernel discards it; either way the good client must be handed what the count still needs.
    auto good = connectTo(ctrl.tcpPort);
    int served = 0;
    for (QByteArray packet = readPacket(*good); packet.startsWith('U') && served < 3;
         packet = readPacket(*good)) {
        good->write("R1");
        good->flush();
        ++served;
    }
    EXPECT_GE(served, 2) << "the lost packet must not hold back the others";
    EXPECT_TRUE(closedByPeer(*good));
    ASSERT_TRUE(ctrl.finish());
    EXPECT_EQ(ctrl.process.exitCode(), 0);
    const std::string out = ctrl.out.toStdString();
    for (const char* expected :
         {"stopped by:        --count 3 replies reached",
          "2 accepted, 0 refused, 1 closed by the client, 0 dropped", "(1 without a reply)"})
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

TEST_F(CtrlProcessTest, DiscoveryIsAnsweredOnlyForTheExactDatagramAndSigtermStopsCleanly) {
    QUdpSocket answers;
    ASSERT_TRUE(answers.bind(kLoopback, 0));
    CtrlProcess ctrl;
    ASSERT_TRUE(ctrl.start({}, answers.localPort())) << ctrl.err.toStdString();

    QUdpSocket sender;
    for (const QByteArray& wrong : {QByteArray("discover"), QByteArray("DISCOVER\n"), QByteArray("DISCOVERY")})
        sender.writeDatagram(wrong, kLoopback, ctrl.udpPort);
    EXPECT_FALSE(answers.waitForReadyRead(300));
    sender.writeDatagram("DISCOVER", kLoopback, ctrl.udpPort);
    ASSERT_TRUE(answers.waitForReadyRead(3000));
    QByteArray answer(64, '\0');
    QHostAddress from;
    quint16 fromPort = 0;
    answer.resize(answers.readDatagram(answer.data(), answer.size(), &from, &fromPort));
    EXPECT_EQ(answer, "DISCOVER");
    EXPECT_EQ(fromPort, ctrl.udpPort);

    auto client = connectTo(ctrl.tcpPort);
    EXPECT_EQ(readPacket(*client).left(3), "Uu1");
    ASSERT_GT(ctrl.process.processId(), 0)
        << "TarrowCtrl ended before the signal";  // kill(0) would hit this test
    ::kill(static_cast<pid_t>(ctrl.process.processId()), SIGTERM);
    EXPECT_TRUE(closedByPeer(*client));
    ASSERT_TRUE(ctrl.finish());
    EXPECT_EQ(ctrl.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ctrl.process.exitCode(), 0);
    const std::string out = ctrl.out.toStdString();
    EXPECT_NE(out.find("stopped by:        SIGTERM received"), std::string::npos) << out;
    EXPECT_NE(out.find("discovery:         4 datagrams received, 1 answered"), std::string::npos) << out;
    EXPECT_NE(out.find("packets sent:      1 (1 without a reply)"), std::string::npos) << out;
}

TEST_F(CtrlProcessTest, FloodsOfConnectionsBytesAndDatagramsLeaveAWellBehavedClientServed) {
    CtrlProcess ctrl;
    ASSERT_TRUE(ctrl.start({"--max-clients", "20", "--count", "3"}));
    QUdpSocket sender;
    const QByteArray junk(1400, 'D');
    for (int i = 0; i < 2000; ++i)
        sender.writeDatagram(i % 2 ? junk : QByteArray("DISCOVER"), kLoopback, ctrl.udpPort);

    std::vector<std::unique_ptr<QTcpSocket>> hogs;
    const QByteArray flood(256 * 1024, 'R');
    for (int i = 0; i < 60; ++i) {
        hogs.push_back(std::make_unique<QTcpSocket>());
        hogs.back()->connectToHost(kLoopback, ctrl.tcpPort);
    }
    for (auto& h : hogs) {
        if (h->waitForConnected(3000)) h->write(flood);
    }
    for (auto& h : hogs) h->waitForBytesWritten(100);
    QElapsedTimer t;
    t.start();
    bool allGone = false;
    while (!allGone && t.elapsed() < 10000) {
        allGone = true;
        for (auto& h : hogs)
            if (h->state() != QAbstractSocket::UnconnectedState && !h->waitForDisconnected(50))
                allGone = false;
    }
    EXPECT_TRUE(allGone) << "every flooding or surplus connection is closed";

    auto good = connectTo(ctrl.tcpPort);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(readPacket(*good).left(1), "U");
        good->write("R1");
    }
    EXPECT_TRUE(closedByPeer(*good));
    ASSERT_TRUE(ctrl.finish());
    EXPECT_EQ(ctrl.process.exitCode(), 0);
    const std::string out = ctrl.out.toStdString();
    EXPECT_NE(out.find("replies:           3"), std::string::npos) << out;
}

}  // namespace
