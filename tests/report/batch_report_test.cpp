// The batch run's report files from virtual logins: every key of report.json, one CSV row
// per login, a folder that cannot be written refused at once.
#include "client/report/batch_report.h"
#include "common/latency_histogram.h"
#include "tests/support/temp_folder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using tarrow::BatchLogin;
using tarrow::BatchReport;
using tarrow::LatencyHistogram;
using tarrow::LoginOutcome;
using tarrow::LoginPhase;
using tarrow::ReportError;
using tarrow::TempFolder;

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

constexpr std::int64_t kWallStartMs = 1'796'680'415'000;  // 2026-12-07T21:53:35.000Z
constexpr std::int64_t kStartUs = 50'000'000;

class BatchReportFiles : public ::testing::Test {
protected:
    BatchReport::Options options() const {
        BatchReport::Options o;
        o.dir = folder.path() / "out" / "run1";  // made when missing
        o.usersFile = "users.csv";
        o.wallMs = [] { return kWallStartMs; };
        o.procNet = folder.path() / "proc";
        return o;
    }
    void writeCounters(std::uint64_t synRetrans, std::uint64_t overflows) const {
        std::filesystem::create_directories(folder.path() / "proc");
        std::ofstream(folder.path() / "proc" / "netstat")
            << "TcpExt: ListenOverflows ListenDrops TCPSynRetrans\nTcpExt: " << overflows << " " << overflows
            << " " << synRetrans << "\nIpExt: InOctets\nIpExt: 5\n";
        std::ofstream(folder.path() / "proc" / "snmp")
            << "Tcp: RtoAlgorithm MaxConn AttemptFails RetransSegs OutRsts\nTcp: 1 -1 0 " << synRetrans * 2
            << " 3\n";
    }
    static BatchLogin login(const char* user, LoginOutcome outcome, std::int64_t startUs, std::int64_t us) {
        BatchLogin l;
        l.user = user;
        l.outcome = outcome;
        l.code = outcome == LoginOutcome::Error ? 0 : outcome == LoginOutcome::Success ? 1 : -9999;
        l.startUs = startUs;
        l.endUs = startUs + us;
        l.phases.set(LoginPhase::Connect, 10);
        l.phases.set(LoginPhase::Bind, us - 40);
        l.phases.set(LoginPhase::Verify, 20);
        return l;
    }
    TempFolder folder;
};

TEST_F(BatchReportFiles, ReportHoldsEveryKeyWithItsFigures) {
    writeCounters(7, 1);
    BatchReport report(options());
    report.onRunStart(kStartUs);
    writeCounters(9, 4);
    report.onLogin(login("alice", LoginOutcome::Success, kStartUs, 3000));
    auto bob = login("bob", LoginOutcome::Error, kStartUs + 3000, 1000);
    bob.message = "QVDSLogin returned -203";
    report.onLogin(bob);
    report.onRejectedLine();
    report.onLogin(login("carol", LoginOutcome::Failed, kStartUs + 2'100'000, 100));
    report.onLogin(login("alice", LoginOutcome::Success, kStartUs + 2'200'000, 5000));
    report.onRunEnd(kStartUs + 2'500'000, false);
    report.finish();

    const auto j = nlohmann::json::parse(readAll(options().dir / "report.json"));
    EXPECT_EQ(j["report"], "TarrowCli --batch");
    EXPECT_EQ(j["format"], 2);
    EXPECT_EQ(j["users_file"], "users.csv");
    EXPECT_EQ(j["started_utc"], "2026-12-07T21:53:35.000Z");
    EXPECT_EQ(j["interrupted"], false);
    EXPECT_EQ(j["logins"], nlohmann::json::parse(
                               R"({"performed":4,"successful":2,"failed":1,"errors":1,"rejected_lines":1})"));
    EXPECT_DOUBLE_EQ(j["elapsed_s"].get<double>(), 2.5);
    EXPECT_DOUBLE_EQ(j["logins_per_s"].get<double>(), 1.6);
    const auto& lat = j["latency_us"];
    EXPECT_EQ(lat["count"], 4);
    EXPECT_DOUBLE_EQ(lat["mean"].get<double>(), 2275.0);
    EXPECT_NEAR(lat["p50"].get<double>(), 1000, 10);
    EXPECT_NEAR(lat["p90"].get<double>(), 5000, 50);
    EXPECT_EQ(lat["max"], 5000);
    for (const char* key : {"count", "mean", "p50", "p90", "p99", "p999", "max"})
        EXPECT_TRUE(lat.contains(key)) << key;
    EXPECT_EQ(j["phases_us"]["connect"]["p50"], 10);
    EXPECT_EQ(j["phases_us"]["connect"]["count"], 4);
    EXPECT_EQ(j["phases_us"]["tls"]["count"], 0);
    EXPECT_EQ(j["phases_us"]["unbind"]["count"], 0);
    EXPECT_EQ(j["phases_us"]["verify"]["max"], 20);
    ASSERT_EQ(j["intervals"].size(), 3u);  // 2.5 s: seconds 0, 1, 2
    auto first = j["intervals"][0];
    EXPECT_NEAR(first["p50_us"].get<double>(), 1000, 10);  // the middle of its bucket
    first.erase("p50_us");
    EXPECT_EQ(
        first,
        nlohmann::json::parse(
            R"({"t_s":0,"logins":2,"successful":1,"failed":0,"errors":1,"p90_us":3000,"p99_us":3000,"max_us":3000})"));
    EXPECT_EQ(j["intervals"][1]["logins"], 0);
    EXPECT_TRUE(j["intervals"][1]["p50_us"].is_null()) << "an empty second has no latency";
    EXPECT_FALSE(j["intervals"][1].contains("clients")) << "a controlled run's column";
    EXPECT_EQ(j["intervals"][2]["logins"], 2);
    EXPECT_EQ(j["intervals"][2]["failed"], 1);
    EXPECT_EQ(j["errors_by_message"], nlohmann::json::parse(R"({"QVDSLogin returned -203":1})"));
    EXPECT_EQ(j["host"]["tcp_syn_retransmits"], 2);
    EXPECT_EQ(j["host"]["listen_overflows"], 3);
    EXPECT_EQ(j["host"]["listen_drops"], 3);
    EXPECT_EQ(j["host"]["tcp_retransmitted_segments"], 4);
    EXPECT_EQ(j["host"]["tcp_resets_sent"], 0);
}

TEST_F(BatchReportFiles, ThePageTheCurveAndTheHistogramsTravelWithTheReport) {
    BatchReport report(options());
    report.onRunStart(kStartUs);
    for (int i = 1; i <= 200; ++i)
        report.onLogin(login("alice", LoginOutcome::Success, kStartUs + i * 1000, 100 + i));
    report.onRunEnd(kStartUs + 300'000, false);
    report.finish();
    const std::string text = readAll(options().dir / "report.json");
    const auto j = nlohmann::json::parse(text);
    const auto& curve = j["latency_percentiles"];
    ASSERT_GE(curve.size(), 26u);
    EXPECT_EQ(curve.front()["p"], 0);
    EXPECT_EQ(curve.front()["us"], 101);  // the minimum
    EXPECT_EQ(curve.back()["p"], 100);
    EXPECT_EQ(curve.back()["us"], 300);                                  // the maximum
    EXPECT_DOUBLE_EQ(curve[curve.size() - 2]["p"].get<double>(), 99.5);  // 200 logins: too few for p99.9
    const auto latency = LatencyHistogram::deserializeText(j["histograms"]["latency"].get<std::string>());
    ASSERT_TRUE(latency);
    EXPECT_EQ(latency->count(), 200u);
    EXPECT_EQ(latency->percentile(0.5), j["latency_us"]["p50"].get<std::int64_t>());
    EXPECT_EQ(j["settings"]["users_file"], "users.csv");
    EXPECT_TRUE(j["settings"].contains("connect_timeout_ms"));
    // The page holds the same report, ready to open from the folder.
    const std::string page = readAll(options().dir / "report.html");
    EXPECT_NE(page.find("<title>Tarrow run report</title>"), std::string::npos);
    EXPECT_NE(page.find(j["histograms"]["latency"].get<std::string>()), std::string::npos);
}

TEST_F(BatchReportFiles, CsvHasOneRowPerLoginWithItsPhases) {
    BatchReport report(options());
    report.onRunStart(kStartUs);
    auto a = login("alice", LoginOutcome::Success, kStartUs + 1'000, 3'000);
    a.phases.set(LoginPhase::Unbind, 15);
    report.onLogin(a);
    auto b = login("b,\"x\"", LoginOutcome::Error, kStartUs + 1'500'000, 500);
    b.message = "QVDSLogin returned -201";
    b.phases = {};
    b.phases.set(LoginPhase::Connect, 480);
    report.onLogin(b);
    report.onLogin(login("carol", LoginOutcome::Failed, kStartUs + 2'000'000, 100));
    report.onRunEnd(kStartUs + 2'100'100, false);
    report.finish();
    EXPECT_EQ(readAll(options().dir / "logins.csv"),
              "time,user,outcome,code,message,execute_us,connect_us,tls_us,bind_us,verify_us,unbind_us\r\n"
              "2026-12-07T21:53:35.004Z,alice,success,1,,3000,10,,2960,20,15\r\n"
              "2026-12-07T21:53:36.500Z,\"b,\"\"x\"\"\",error,,QVDSLogin returned -201,500,480,,,,\r\n"
              "2026-12-07T21:53:37.000Z,carol,failed,-9999,,100,10,,60,20,\r\n");
}

TEST_F(BatchReportFiles, AnInterruptedRunSaysSoAndKeepsWhatItDid) {
    BatchReport report(options());
    report.onRunStart(kStartUs);
    report.onLogin(login("alice", LoginOutcome::Success, kStartUs, 300));
    report.onRunEnd(kStartUs + 400, true);
    report.finish();
    const auto j = nlohmann::json::parse(readAll(options().dir / "report.json"));
    EXPECT_EQ(j["interrupted"], true);
    EXPECT_EQ(j["logins"]["performed"], 1);
    EXPECT_EQ(j["intervals"].size(), 1u);
}

TEST_F(BatchReportFiles, UnreadableCountersAreNullNotZero) {
    BatchReport report(options());  // no proc files written
    report.onRunStart(kStartUs);
    report.onRunEnd(kStartUs + 10, false);
    report.finish();
    const auto j = nlohmann::json::parse(readAll(options().dir / "report.json"));
    EXPECT_EQ(j["host"]["source"], "unreadable");
    EXPECT_TRUE(j["host"]["tcp_syn_retransmits"].is_null());
    EXPECT_EQ(j["latency_us"]["count"], 0);
    EXPECT_EQ(j["latency_us"]["p99"], 0);
}

TEST_F(BatchReportFiles, TextsThatAreNotUtf8StayValidJson) {
    BatchReport report(options());
    report.onRunStart(kStartUs);
    auto l = login("j\xf6rg", LoginOutcome::Error, kStartUs, 10);
    l.message = "bad \xe9 text";
    report.onLogin(l);
    l.message = "g\xc3\xbcltig";  // UTF-8 already: stays as it is
    report.onLogin(l);
    report.finish();
    const auto j = nlohmann::json::parse(readAll(options().dir / "report.json"));
    EXPECT_EQ(j["errors_by_message"].begin().key(), "bad \xc3\xa9 text") << "read as Latin-1";
    EXPECT_EQ(j["errors_by_message"]["g\xc3\xbcltig"], 1);
    // The CSV keeps the bytes of the users file.
    EXPECT_NE(readAll(options().dir / "logins.csv").find("j\xf6rg,error"), std::string::npos);
}

TEST_F(BatchReportFiles, AFolderThatCannotBeWrittenIsRefusedAtOnce) {
    const std::string file = folder.writeFile("plain-file", "x");
    BatchReport::Options o = options();
    o.dir = std::filesystem::path(file) / "report";
    try {
        BatchReport report(o);
        FAIL() << "no ReportError";
    } catch (const ReportError& e) {
        EXPECT_NE(std::string(e.what()).find("plain-file/report"), std::string::npos) << e.what();
    }
    o.dir = file;  // a file, not a folder
    EXPECT_THROW(BatchReport{o}, ReportError);
}

}  // namespace
