// TarrowCli --batch --report DIR as a program: the report files, what the run prints
// unchanged, a folder that cannot be written, SIGINT and SIGTERM, and a real directory
// server beside a plain libldap loop.
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/directory/ldap_reference_loop.h"
#include "tests/slapd/private_slapd.h"
#include "tools/delay_relay/relay_server.h"

namespace {

struct ProcessRun {
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    std::string out;
    std::string err;
};

std::string readAll(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// The log lines without the one of the elapsed time, which differs from run to run.
std::vector<std::string> withoutElapsed(const std::string& text) {
    auto v = lines(text);
    v.erase(
        std::remove_if(v.begin(), v.end(), [](const std::string& l) { return l.rfind("It took: ", 0) == 0; }),
        v.end());
    return v;
}

class TarrowCliReport : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    std::string path(const std::string& name) const {
        return dir.filePath(QString::fromStdString(name)).toStdString();
    }

    std::string writeIni(const std::string& usersFile) const {
        const std::string ini = path("Tarrow.ini");
        std::ofstream(ini) << "[General]\nWorkloadUsersFile=" << usersFile << "\n";
        return ini;
    }
    std::string writeUsers(int n, const std::string& tree) const {
        const std::string file = path("users.csv");
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < n; ++i) out << "u" << i % 7 << ",pw," << tree << ",Users.Vantric,srv\n";
        return file;
    }

    // The program against the recording double, with extra environment.
    QProcess* start(const QStringList& args, const QStringList& env, bool fake = true) {
        auto* p = new QProcess;
        processes.emplace_back(p);
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        if (fake) e.insert("LD_LIBRARY_PATH", TARROW_FAKE_DIR);
        for (const QString& kv : env) e.insert(kv.section('=', 0, 0), kv.section('=', 1));
        p->setProcessEnvironment(e);
        p->start(QStringLiteral(TARROW_CLI_PATH), args);
        return p;
    }
    static ProcessRun finish(QProcess* p, int timeoutMs = 60000) {
        ProcessRun run;
        if (!p->waitForFinished(timeoutMs)) {
            p->kill();
            p->waitForFinished(5000);
            ADD_FAILURE() << "TarrowCli did not end within " << timeoutMs << " ms";
        }
        run.exitCode = p->exitCode();
        run.status = p->exitStatus();
        run.out = p->readAllStandardOutput().toStdString();
        run.err = p->readAllStandardError().toStdString();
        return run;
    }
    QStringList batchArgs(const std::string& ini) const {
        return {"--ini", QString::fromStdString(ini), "--batch", "--answer-port", "0"};
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> processes;
};

TEST_F(TarrowCliReport, DoubleWithALoginDelayOf3000UsGivesAP50Of3000To3300) {
    const std::string ini = writeIni(writeUsers(300, "127.0.0.1:1"));
    const QStringList env = {"QDSFAKE_LOGIN_DELAY_US=3000", "QDSFAKE_FAIL_USER=u3:-203"};
    QStringList args = batchArgs(ini);
    args << "--report" << QString::fromStdString(path("report"));
    const ProcessRun reported = finish(start(args, env));
    const ProcessRun plain = finish(start(batchArgs(ini), env));
    ASSERT_EQ(reported.exitCode, 0) << reported.err;
    // What the run prints stays as it is.
    EXPECT_EQ(withoutElapsed(reported.out), withoutElapsed(plain.out));

    const auto j = nlohmann::json::parse(readAll(path("report/report.json")));
    const auto p50 = j["latency_us"]["p50"].get<double>();
    EXPECT_GE(p50, 3000);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers add a few hundred microseconds of our own code to every login.
    EXPECT_LE(p50, 3600);
#else
    EXPECT_LE(p50, 3300);
#endif
    EXPECT_EQ(j["logins"]["performed"], 300);
    EXPECT_EQ(j["logins"]["errors"], 43);  // u3: every 7th line from the 4th
    EXPECT_EQ(j["logins"]["successful"], 257);
    EXPECT_EQ(j["errors_by_message"]["QVDSLogin returned -203"], 43);
    EXPECT_EQ(j["phases_us"]["bind"]["p50"], 3000);  // the double's virtual figure
    EXPECT_FALSE(j["intervals"].empty());
    const auto rows = lines(readAll(path("report/logins.csv")));
    EXPECT_EQ(rows.size(), 301u);  // header and one row per login
}

TEST_F(TarrowCliReport, AFolderThatCannotBeWrittenStopsBeforeAnyLogin) {
    const std::string ini = writeIni(writeUsers(5, "127.0.0.1:1"));
    std::ofstream(path("taken")) << "a file";
    QStringList args = batchArgs(ini);
    args << "--report" << QString::fromStdString(path("taken/report"));
    const ProcessRun run = finish(start(args, {}));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out.find("Successful Login"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("error: --report: cannot use report folder"), std::string::npos) << run.err;
}

TEST_F(TarrowCliReport, SigintEndsTheRunWithTheReportOfWhatItDid) {
    const std::string ini = writeIni(writeUsers(20000, "127.0.0.1:1"));
    QStringList args = batchArgs(ini);
    args << "--report" << QString::fromStdString(path("report"));
    QProcess* p = start(args, {"QDSFAKE_LOGIN_DELAY_US=1000"});
    ASSERT_TRUE(p->waitForStarted(10000));
    const std::string csv = path("report/logins.csv");
    // Rows reach the file once a second; wait for the first ones.
    for (int i = 0; i < 200 && lines(readAll(csv)).size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_GT(p->processId(), 0) << "TarrowCli ended before the signal";  // kill(0) would hit this test
    ::kill(static_cast<pid_t>(p->processId()), SIGINT);
    const ProcessRun run = finish(p, 20000);
    // The program still ends by the signal, as it does without a report.
    EXPECT_EQ(run.status, QProcess::CrashExit);
    EXPECT_EQ(run.out.find("It took: "), std::string::npos);
    const auto j = nlohmann::json::parse(readAll(path("report/report.json")));
    EXPECT_EQ(j["interrupted"], true);
    const auto performed = j["logins"]["performed"].get<std::size_t>();
    EXPECT_GT(performed, 0u);
    EXPECT_LT(performed, 20000u);
    EXPECT_EQ(lines(readAll(csv)).size(), performed + 1);
}

// SIGTERM in the middle of a login against a slow server: that login still completes, and
// succeeds, before the run ends with its report. Each exchange with the server passes
// a relay that holds it 40 ms, so a login takes a few hundred ms and the signal lands in
// the directory library's wait for an answer.
TEST_F(TarrowCliReport, SigtermMidLoginLetsThatLoginSucceed) {
    tarrow::test::PrivateSlapd server(std::vector<tarrow::test::SeedUser>{{"slowuser", "slowpw"}});
    tarrow::relay::RelayOptions options;
    options.listen = {"127.0.0.1", 0};
    options.target = {"127.0.0.1", static_cast<std::uint16_t>(server.port())};
    options.delayMs = 40;
    tarrow::relay::RelayServer relay(options);
    std::string error;
    ASSERT_TRUE(relay.open(error)) << error;
    volatile std::sig_atomic_t stopRelay = 0;
    std::thread relayThread([&] { relay.run(stopRelay); });
    struct StopRelay {
        volatile std::sig_atomic_t& flag;
        std::thread& thread;
        ~StopRelay() {
            flag = 1;
            thread.join();
        }
    } stopRelayAtEnd{stopRelay, relayThread};

    const std::string file = path("users.csv");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 200; ++i)
            out << "slowuser,slowpw,127.0.0.1:" << relay.listenPort() << ","
                << tarrow::test::PrivateSlapd::kContext << ",x\n";
    }
    QStringList args = batchArgs(writeIni(file));
    args << "--report" << QString::fromStdString(path("report"));
    QProcess* p = start(args, {}, false);
    ASSERT_TRUE(p->waitForStarted(10000));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_GT(p->processId(), 0) << "TarrowCli ended before the signal";  // kill(0) would hit this test
    ::kill(static_cast<pid_t>(p->processId()), SIGTERM);
    const ProcessRun run = finish(p, 30000);
    EXPECT_EQ(run.status, QProcess::CrashExit);
    EXPECT_EQ(run.out.find("DSERROR"), std::string::npos) << run.out;
    const auto j = nlohmann::json::parse(readAll(path("report/report.json")));
    EXPECT_EQ(j["interrupted"], true);
    const auto performed = j["logins"]["performed"].get<std::size_t>();
    EXPECT_GT(performed, 0u);
    EXPECT_LT(performed, 200u);
    EXPECT_EQ(j["logins"]["successful"].get<std::size_t>(), performed) << j["errors_by_message"].dump();
    EXPECT_EQ(lines(readAll(path("report/logins.csv"))).size(), performed + 1);
}

// Done when: against a private slapd, 3,000 lines; the p50 within a factor 1.5 of a plain
// libldap loop's for the same work, measured in the same run; the phases' p50s add up to
// at most the total's (within 5 %); every login has its row.
TEST_F(TarrowCliReport, AgainstSlapdTheP50IsNearALibldapLoopsAndThePhasesAddUp) {
    ::setenv("LANG", "C", 1);
    tarrow::test::PrivateSlapd server(std::vector<tarrow::test::SeedUser>{{"benchuser", "benchpw"}});
    const std::string file = path("users.csv");
    {
        std::ofstream out(file, std::ios::binary);
        for (int i = 0; i < 3000; ++i)
            out << "benchuser,benchpw," << server.tree() << "," << tarrow::test::PrivateSlapd::kContext
                << ",x\n";
    }
    // The same work straight on libldap just before and just after the run, so that a
    // machine whose load drifts is seen on both sides.
    const std::string dn = std::string("cn=benchuser,") + tarrow::test::PrivateSlapd::kBaseDn;
    const auto referenceP50 = [&] {
        std::vector<long long> us(1500);
        EXPECT_EQ(ldapReferenceLoginsTimed(server.url().c_str(), dn.c_str(), "benchpw", 1500, 0, us.data()),
                  1500);
        std::sort(us.begin(), us.end());
        return static_cast<double>(us[749]);
    };
    const double before = referenceP50();
    QStringList args = batchArgs(writeIni(file));
    args << "--report" << QString::fromStdString(path("report"));
    const ProcessRun run = finish(start(args, {}, false), 120000);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const double after = referenceP50();
    const double referenceLow = std::min(before, after), referenceHigh = std::max(before, after);

    const auto j = nlohmann::json::parse(readAll(path("report/report.json")));
    EXPECT_EQ(j["logins"]["successful"], 3000);
    const double p50 = j["latency_us"]["p50"].get<double>();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers slow the whole program far more than the plain loop's few calls.
    constexpr double kFactor = 3.0;
#else
    constexpr double kFactor = 1.5;
#endif
    EXPECT_LE(p50, referenceHigh * kFactor) << "libldap p50 " << before << " before, " << after << " after";
    EXPECT_GE(p50, referenceLow / kFactor) << "libldap p50 " << before << " before, " << after << " after";
    double phases = 0;
    for (const char* phase : {"connect", "tls", "bind", "verify", "unbind"})
        phases += j["phases_us"][phase]["p50"].get<double>();
    EXPECT_LE(phases, p50 * 1.05);
    EXPECT_EQ(j["phases_us"]["tls"]["count"], 0);
    EXPECT_EQ(j["phases_us"]["connect"]["count"], 3000);
    EXPECT_EQ(j["phases_us"]["unbind"]["count"], 2999);  // the last login is ended after the run
    EXPECT_EQ(lines(readAll(path("report/logins.csv"))).size(), 3001u);
    std::printf(
        "TarrowCli p50 %.0f us, libldap loop p50 %.0f us before and %.0f us after, phases' p50s %.0f us\n",
        p50, before, after, phases);
}

}  // namespace
