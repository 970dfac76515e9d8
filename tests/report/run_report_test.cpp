// What the reports of a run share: per-second intervals, capped message counts, host counters.
#include "common/host_counters.h"
#include "common/report_text.h"
#include "report/model/run_report.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using namespace tarrow;

TEST(IntervalSeries, OneSummaryPerSecondOfTheRunEmptySecondsIncluded) {
    IntervalSeries s;
    s.record(100, LoginOutcome::Success, 100);
    s.record(999'999, LoginOutcome::Error, 300);
    s.record(3'200'000, LoginOutcome::Failed, 50);
    s.finish(3'500'000);
    const auto& v = s.seconds();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].second, 0);
    EXPECT_EQ(v[0].logins, 2u);
    EXPECT_EQ(v[0].successful, 1u);
    EXPECT_EQ(v[0].errors, 1u);
    EXPECT_EQ(v[0].p50Us, 100);
    EXPECT_EQ(v[0].p99Us, 300);
    EXPECT_EQ(v[1].logins, 0u);
    EXPECT_FALSE(v[1].p50Us) << "an empty second has no latency";
    EXPECT_EQ(v[3].second, 3);
    EXPECT_EQ(v[3].failed, 1u);
}

TEST(IntervalSeries, ARunOfWholeSecondsHasThatManySummaries) {
    IntervalSeries s;
    s.finish(2'000'000);
    EXPECT_EQ(s.seconds().size(), 2u);
    IntervalSeries none;
    none.finish(0);
    EXPECT_EQ(none.seconds().size(), 1u);
}

TEST(MessageCounts, FoldsTextsPastTheCapIntoOneEntry) {
    MessageCounts m;
    for (int i = 0; i < 1500; ++i) m.add("text " + std::to_string(i));
    m.add("text 3");
    EXPECT_EQ(m.counts().size(), MessageCounts::kMaxTexts);
    EXPECT_EQ(m.counts().at("text 3"), 2u);
    EXPECT_EQ(m.counts().at(std::string(MessageCounts::kOtherTexts)), 1500u - (MessageCounts::kMaxTexts - 1));
}

TEST(HostCounters, ReadsBothFilesAndTellsTheGrowth) {
    TempFolder f;
    f.writeFile("netstat", "TcpExt: SyncookiesSent TCPSynRetrans ListenOverflows\nTcpExt: 0 5 2\n");
    f.writeFile("snmp", "Ip: Forwarding\nIp: 1\nTcp: MaxConn RetransSegs\nTcp: -1 40\n");
    const HostCounters a = readHostCounters(f.path());
    EXPECT_TRUE(a.readable);
    EXPECT_EQ(a.values.at("TcpExt.TCPSynRetrans"), 5u);
    EXPECT_EQ(a.values.count("Tcp.MaxConn"), 0u);  // a gauge of -1, no counter
    f.writeFile("netstat", "TcpExt: SyncookiesSent TCPSynRetrans ListenOverflows\nTcpExt: 0 9 2\n");
    const HostCounters b = readHostCounters(f.path());
    EXPECT_EQ(counterGrowth(a, b, kHostCounters[0]), 4u);
    EXPECT_EQ(counterGrowth(a, b, kHostCounters[1]), 0u);
    EXPECT_FALSE(counterGrowth(a, b, kHostCounters[2]).has_value());  // ListenDrops missing
    EXPECT_FALSE(readHostCounters(f.path() / "none").readable);
}

TEST(HostCounters, TheMachinesOwnCountersAreThere) {
    const HostCounters c = readHostCounters();
    if (!c.readable) GTEST_SKIP() << "no /proc/net here";
    for (const HostCounterName& n : kHostCounters)
        EXPECT_EQ(c.values.count(std::string(n.table) + "." + n.counter), 1u) << n.key;
}

TEST(ReportText, UtcTimesWithMillisecondsAndCsvQuoting) {
    EXPECT_EQ(formatUtc(1'796'680'415'123), "2026-12-07T21:53:35.123Z");
    UtcFormatter f;
    std::string out;
    f.append(out, 1'796'680'415'999);
    out += ' ';
    f.append(out, 1'796'680'416'001);
    EXPECT_EQ(out, "2026-12-07T21:53:35.999Z 2026-12-07T21:53:36.001Z");
    EXPECT_EQ(formatUtc(-1), "1969-12-31T23:59:59.999Z");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(formatMs(1'234'567), "1234.567");
}

}  // namespace
