// TarrowCtrl as a real program with the timings extension: a mixed fleet of raw clients on
// loopback, the report folder, and a client that goes away while it holds a lease.
#include <QElapsedTimer>
#include <QThread>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

using namespace std::string_literals;
const QHostAddress kLoopback(QHostAddress::LocalHost);
const QByteArray kRequest("Ftarrow-timings/1");
const QByteArray kAcceptance("\0tarrow-timings/1\n", 18);

struct Ctrl {
    Ctrl() {
        std::ofstream(dir.filePath("TarrowCtrl.ini").toStdString())
            << "[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=users.csv\r\n";
        std::ofstream(dir.filePath("users.csv").toStdString())
            << "u1,pw,127.0.0.1,Users.Vantric,NotUsed,1\r\nu2,pw,127.0.0.1,Users.Vantric,NotUsed,1\r\n"
               "u3,pw,127.0.0.1,Users.Vantric,NotUsed,1\r\n";
    }
    ~Ctrl() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    void run(QStringList extra) {
        process.start(TARROW_CTRL_PATH,
                      QStringList{"--ini", dir.filePath("TarrowCtrl.ini"), "--control-port", "0",
                                  "--discovery-port", "0", "--answer-port", "45997", "--quiet"} +
                          extra);
        process.waitForStarted(5000);
    }
    bool listening() {
        const QRegularExpression re("TCP port (\\d+)");
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000 && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(200);
            err += process.readAllStandardError();
            const auto m = re.match(QString::fromLatin1(err));
            if (m.hasMatch()) {
                port = static_cast<std::uint16_t>(m.captured(1).toUInt());
                return true;
            }
        }
        return false;
    }
    bool finish() {
        const bool ok = process.waitForFinished(10000);
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return ok;
    }
    nlohmann::json report() {
        std::ifstream in(dir.filePath("report/report.json").toStdString());
        std::stringstream text;
        text << in.rdbuf();
        return nlohmann::json::parse(text.str(), nullptr, false);
    }
    QTemporaryDir dir;
    QProcess process;
    QByteArray err, out;
    std::uint16_t port = 0;
};

QByteArray readSome(QTcpSocket& s) {
    if (!s.bytesAvailable()) s.waitForReadyRead(3000);
    return s.readAll();
}

void sendBytes(QTcpSocket& s, const std::string& bytes) {
    s.write(bytes.data(), static_cast<qint64>(bytes.size()));
    s.waitForBytesWritten(1000);
}

std::unique_ptr<QTcpSocket> connectTo(std::uint16_t port) {
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(kLoopback, port);
    EXPECT_TRUE(s->waitForConnected(3000)) << s->errorString().toStdString();
    return s;
}

TEST(CtrlTimingsProcess, MixedFleetIsServedAndTheReportSaysWhoReportsAndWhatIsIndeterminate) {
    Ctrl ctrl;
    ctrl.run({"--count", "4", "--report", ctrl.dir.filePath("report")});
    ASSERT_TRUE(ctrl.listening()) << ctrl.err.toStdString();

    auto timed = connectTo(ctrl.port);
    EXPECT_EQ(readSome(*timed), kRequest);
    timed->write(kAcceptance);
    EXPECT_EQ(readSome(*timed), "Uu1,pw,127.0.0.1,Users.Vantric,NotUsed") << "at once after the acceptance";

    // A described client ignores the request; its packet follows the wait.
    auto plain = connectTo(ctrl.port);
    EXPECT_EQ(readSome(*plain), kRequest);
    EXPECT_EQ(readSome(*plain), "Uu2,pw,127.0.0.1,Users.Vantric,NotUsed");

    // A client that holds a lease and goes away: an indeterminate login, handed out again.
    auto gone = connectTo(ctrl.port);
    EXPECT_EQ(readSome(*gone), kRequest);
    gone->write(kAcceptance);
    EXPECT_EQ(readSome(*gone), "Uu3,pw,127.0.0.1,Users.Vantric,NotUsed");
    gone->abort();
    QThread::msleep(200);

    // An error reply with its record in two segments: one reply, taken at the line feed
    // however long the second segment lags (the test socket has Nagle on).
    timed->write("R0login() - ");
    timed->flush();
    QThread::msleep(10);
    sendBytes(*timed, "-601\0e=20500 l=7 c=100 b=20000 v=300 u=100\n"s);
    EXPECT_EQ(readSome(*timed), "Uu3,pw,127.0.0.1,Users.Vantric,NotUsed") << "u3 once more";
    sendBytes(*timed, "R1\0e=20400 l=9 c=100 b=19900\n"s);
    EXPECT_EQ(readSome(*timed).left(3), "Uu1");
    sendBytes(*plain, "R1");
    sendBytes(*timed, "R1\0\n"s);
    EXPECT_TRUE(timed->state() == QAbstractSocket::UnconnectedState || timed->waitForDisconnected(3000));

    ASSERT_TRUE(ctrl.finish());
    EXPECT_EQ(ctrl.process.exitCode(), 0) << ctrl.err.toStdString();
    const std::string out = ctrl.out.toStdString();
    for (const char* line :
         {"replies:           4", "timings:           2 of 3 connections report them, 1 do not",
          "indeterminate:     ", "u3 at 127.0.0.1:", "login latency (ms): mean"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    const nlohmann::json r = ctrl.report();
    ASSERT_TRUE(r.is_object());
    EXPECT_EQ(r["logins"]["performed"], 4);
    EXPECT_EQ(r["logins"]["errors"], 1);
    EXPECT_EQ(r["logins"]["packets_sent"],
              r["logins"]["performed"].get<int>() + r["logins"]["indeterminate"].get<int>());
    EXPECT_EQ(r["latency_us"]["count"], 2) << "the empty record has no figures";
    EXPECT_NEAR(r["latency_us"]["p50"].get<double>(), 20'450, 200);
    EXPECT_EQ(r["errors_by_message"]["login() - -601"], 1) << "the message ends at the zero byte";
    ASSERT_FALSE(r["indeterminate"].empty());
    EXPECT_EQ(r["indeterminate"][0]["user"], "u3");
    EXPECT_EQ(r["indeterminate"][0]["reason"], "connection closed");
    std::ifstream csv(ctrl.dir.filePath("report/logins.csv").toStdString());
    int rows = -1;
    for (std::string line; std::getline(csv, line);) ++rows;
    EXPECT_EQ(rows, r["logins"]["packets_sent"].get<int>()) << "a row for every packet sent";
}

TEST(CtrlTimingsProcess, ReportFolderThatCannotBeWrittenStopsBeforeListening) {
    Ctrl ctrl;
    std::ofstream(ctrl.dir.filePath("file").toStdString()) << "x";
    ctrl.run({"--report", ctrl.dir.filePath("file/report")});
    ASSERT_TRUE(ctrl.finish());
    EXPECT_EQ(ctrl.process.exitCode(), 2);
    EXPECT_NE(ctrl.err.indexOf("cannot write the report into folder"), -1) << ctrl.err.toStdString();
    EXPECT_EQ(ctrl.err.indexOf("listening"), -1);
}

}  // namespace
