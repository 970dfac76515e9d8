// TarrowCli as a program: run with QProcess, every wait bounded, killed at the end.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <signal.h>

#include <fstream>
#include <string>

#include "tests/slapd/private_slapd.h"

namespace {

struct ProcessRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    std::string out;
    std::string err;
};

class TarrowCliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    std::string writeIni(const std::string& broadcast, const std::string& usersFile) const {
        const std::string ini = path("Tarrow.ini");
        std::ofstream(ini) << "[General]\nLocal Broadcast=" << broadcast
                           << "\nWorkloadUsersFile=" << usersFile << "\nMaxDelay=1\n";
        return ini;
    }

    // Runs TarrowCli to its end, at most timeoutMs.
    static ProcessRun runToEnd(const QStringList& args, int timeoutMs = 30000) {
        QProcess process;
        process.start(QStringLiteral(TARROW_CLI_PATH), args);
        ProcessRun run;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(5000);
            ADD_FAILURE() << "TarrowCli did not end within " << timeoutMs << " ms";
        }
        run.exitCode = process.exitCode();
        run.status = process.exitStatus();
        run.out = process.readAllStandardOutput().toStdString();
        run.err = process.readAllStandardError().toStdString();
        return run;
    }

    QTemporaryDir dir;
};

// Starts TarrowCli in client mode, waits for its start-up status line, then ends it with signo.
void expectStatusThenCleanEnd(const QStringList& args, const std::string& statusLine, int signo) {
    QProcess process;
    process.start(QStringLiteral(TARROW_CLI_PATH), args);
    ASSERT_TRUE(process.waitForStarted(10000)) << process.errorString().toStdString();
    std::string err;
    for (int i = 0; i < 100 && err.find(statusLine) == std::string::npos; ++i) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError().toStdString();
    }
    EXPECT_NE(err.find(statusLine + "\n"), std::string::npos) << err;
    // A program that already ended has no id: kill(0) would signal this test's own group.
    const auto pid = static_cast<pid_t>(process.processId());
    ASSERT_GT(pid, 0) << "TarrowCli ended before the signal: " << err;
    ::kill(pid, signo);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
        FAIL() << "TarrowCli did not end on signal " << signo;
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

}  // namespace

TEST_F(TarrowCliTest, ClientModeShowsTheBroadcastAndThePortsAndEndsCleanlyOnSigterm) {
    const std::string ini = writeIni("127.0.0.255", path("users.dat"));
    expectStatusThenCleanEnd({"--ini", QString::fromStdString(ini)}, "status: 127.0.0.255 | 2308 | 2309",
                             SIGTERM);
}

TEST_F(TarrowCliTest, ClientModeEndsCleanlyOnSigint) {
    const std::string ini = writeIni("127.255.255.255", path("users.dat"));
    expectStatusThenCleanEnd({"--ini", QString::fromStdString(ini)}, "status: 127.255.255.255 | 2308 | 2309",
                             SIGINT);
}

TEST_F(TarrowCliTest, ABatchRunAgainstTheDirectoryPrintsOneLinePerUserAndTheReport) {
    tarrow::test::PrivateSlapd slapd(std::vector<tarrow::test::SeedUser>{{"alice", "secret"}});
    const std::string users = path("users.dat");
    std::ofstream(users) << "alice,secret," << slapd.tree() << "," << slapd.kContext << ",srv,30\n"
                         << "\n"
                         << "alice,wrong," << slapd.tree() << "," << slapd.kContext << ",srv,30\n";
    const ProcessRun run = runToEnd(
        {"--ini", QString::fromStdString(writeIni("127.0.0.1", users)), "--batch", "--answer-port", "0"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string expectedStart = "alice Successful Login!\n***DSUser DSERROR: QVDSLogin returned ";
    EXPECT_EQ(run.out.substr(0, expectedStart.size()), expectedStart) << run.out;
    EXPECT_NE(run.out.find(" to execute the client workload.\n\n  There were 2 operations performed.\n"
                           "  Successful operations: 1\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("status: 127.0.0.1 | 2308 | "), std::string::npos) << run.err;
}

TEST_F(TarrowCliTest, ABatchRunWhoseUsersFileCannotBeReadEndsWithAFailureStatus) {
    const ProcessRun run = runToEnd({"--ini", QString::fromStdString(writeIni("127.0.0.1", path("absent.dat"))),
                                     "--batch", "--answer-port", "0"});
    EXPECT_EQ(run.status, QProcess::NormalExit);
    EXPECT_NE(run.exitCode, 0);
}

// Lines that standard output cannot take (a full disk) must not pass for a successful run.
TEST_F(TarrowCliTest, ABatchRunWhoseOutputCannotBeWrittenSaysSoAndFails) {
    const std::string users = path("users.dat");
    std::ofstream(users) << "too,few,fields\n";
    const QStringList args{"--ini", QString::fromStdString(writeIni("127.0.0.1", users)), "--batch",
                           "--answer-port", "0"};
    const ProcessRun ok = runToEnd(args);
    ASSERT_EQ(ok.exitCode, 0) << ok.err;
    ASSERT_NE(ok.out.find("Insufficient data"), std::string::npos) << ok.out;

    QProcess process;
    process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(QStringLiteral(TARROW_CLI_PATH), args);
    ASSERT_TRUE(process.waitForFinished(30000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(process.exitCode(), 1) << err;
    EXPECT_NE(err.find("error: writing standard output failed: No space left on device\n"), std::string::npos)
        << err;
}

TEST_F(TarrowCliTest, BadOptionsAreNamedAndHelpListsTheTestOptions) {
    const ProcessRun bad = runToEnd({"--nope"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("error: unknown option --nope"), std::string::npos) << bad.err;
    const ProcessRun badPort = runToEnd({"--answer-port", "70000"});
    EXPECT_EQ(badPort.exitCode, 2);
    EXPECT_NE(badPort.err.find("--answer-port"), std::string::npos) << badPort.err;
    // A client connects to the control port, so 0 (any free port) names none.
    for (const char* value : {"0", "65536", "x"}) {
        const ProcessRun badControl = runToEnd({"--control-port", value});
        EXPECT_EQ(badControl.exitCode, 2);
        EXPECT_NE(badControl.err.find("error: --control-port needs a port number from 1 to 65535"),
                  std::string::npos)
            << badControl.err;
    }
    const ProcessRun help = runToEnd({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--batch"), std::string::npos);
    EXPECT_NE(help.out.find("\n  --no-timings  ignore a controller's request"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("Test options"), std::string::npos);
    EXPECT_NE(help.out.find("\n  --rate R            with --batch: an open loop of R logins per second"),
              std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("\n  --control-port N    connect the control channel to TCP port N"), std::string::npos)
        << help.out;
}

// A bad load option is named, with status 2, before any login: no line reaches standard output.
TEST_F(TarrowCliTest, BadLoadOptionsAreNamedBeforeAnyLogin) {
    const std::string users = path("users.dat");
    std::ofstream(users) << "alice,secret,127.0.0.1:1,Users.Vantric,srv\n";
    const std::string curve = path("curve.txt");
    std::ofstream(curve) << "# storm\n100,2\n100;2\n";
    const QString ini = QString::fromStdString(writeIni("127.0.0.1", users));
    const std::vector<std::pair<QStringList, std::string>> cases{
        {{"--rate", "0"}, "error: --rate needs a number of logins per second above 0"},
        {{"--rate", "-5"}, "error: --rate needs a number of logins per second above 0"},
        {{"--rate", "fast"}, "error: --rate needs a number of logins per second above 0"},
        {{"--workers", "0"}, "error: --workers needs a number from 1 to 1024"},
        {{"--rate-file", QString::fromStdString(curve)},
         "error: --rate-file: " + curve + ":3: expected RATE,SECONDS"},
        {{"--rate", "5", "--arrivals", "bursty"}, "error: --arrivals needs even or poisson"},
        {{"--duration", "0"}, "error: --duration needs a number of seconds above 0"},
        {{"--from", "20"}, "error: --from needs --find-capacity"},
        {{"--find-capacity", "p99<=20ms", "--rate", "5"},
         "error: --find-capacity sets the rate of each step itself: it excludes --rate"},
        {{"--find-capacity", "p99.9<=50ms,errors<=x%"},
         "error: --find-capacity: the share of \"errors<=x%\" needs a percentage from 0 to 100 and %"},
        {{"--find-capacity", "p99<=20ms", "--precision", "0"}, "error: --precision needs a number above 0"},
        {{"--find-capacity", "p99<=20ms", "--precision", "150"},
         "error: --precision: the precision must be above 0 and at most 100 %"},
        {{"--find-capacity", "p99<=20ms", "--confidence", "0.3"},
         "error: --confidence: the confidence must be from 0.5 to below 1"},
        {{"--find-capacity", "p99<=20ms", "--max-time", "0.5"},
         "error: --max-time: the time bound must be at least 1 s"},
        {{"--find-capacity", "p99<=20ms", "--from", "0"},
         "error: --from needs a number of logins per second above 0, at most 1000000"},
    };
    for (const auto& [options, error] : cases) {
        QStringList args{"--ini", ini, "--batch", "--answer-port", "0"};
        args << options;
        const ProcessRun run = runToEnd(args);
        EXPECT_EQ(run.exitCode, 2) << error;
        EXPECT_NE(run.err.find(error), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "") << error;
    }
    for (const char* option : {"--rate", "--workers", "--find-capacity"}) {
        const ProcessRun run = runToEnd({"--ini", ini, option, "4"});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.err.find(std::string("error: ") + option + " needs --batch"), std::string::npos)
            << run.err;
    }
}

TEST_F(TarrowCliTest, WithoutIniOptionTheGeneratedTarrowIniBesideTheProgramIsRead) {
    const QString copy = dir.filePath(QStringLiteral("TarrowCli"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TARROW_CLI_PATH), copy));
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::ExeOwner);
    std::ofstream(path("Tarrow.ini"))
        << "[General]\r\nLocal Broadcast=127.0.0.77\r\nWorkloadUsersFile=absent.dat\r\n";
    QProcess process;
    process.setWorkingDirectory(dir.path());
    process.start(copy, {"--batch", "--answer-port", "0"});
    ASSERT_TRUE(process.waitForFinished(30000));
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_NE(err.find("status: 127.0.0.77 | 2308 | "), std::string::npos) << err;
    EXPECT_NE(process.readAllStandardOutput().toStdString().find("absent.dat"), std::string::npos);
}
