#include "controller/core/csv_reply_writer.h"
#include "controller/core/reports.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarrow::ctrl {
namespace {

TEST(CsvReport, RowsQuoteWhatNeedsQuoting) {
    std::ostringstream out;
    CsvReplyWriter writer(out);
    ReplyRecord r;
    r.wallMs = 1'796'680'415'123;  // 2026-12-07T21:53:35.123Z
    r.client = "127.0.0.1:40000";
    r.user = "u1";
    r.kind = ReplyKind::Success;
    r.code = 1;
    r.replyUs = 1'234'567;
    writer.onReply(r);
    r.kind = ReplyKind::Error;
    r.code = 0;
    r.message = "login() - \"bad\", code\r\n-601";
    r.replyUs = 999;
    writer.onReply(r);
    EXPECT_EQ(out.str(),
              "time,client,user,outcome,code,message,reply_ms\r\n"
              "2026-12-07T21:53:35.123Z,127.0.0.1:40000,u1,success,1,,1234.567\r\n"
              "2026-12-07T21:53:35.123Z,127.0.0.1:40000,u1,error,,\"login() - \"\"bad\"\", "
              "code\r\n-601\",0.999\r\n");
}

TEST(ReplyTimes, PercentilesMeanAndMaxWithinTheHistogramsError) {
    tarrow::LatencyHistogram h;
    EXPECT_EQ(h.percentile(0.99), 0);
    for (int us = 1; us <= 1000; ++us) h.record(us);
    EXPECT_NEAR(static_cast<double>(h.percentile(0.50)), 500.0, 500.0 * 0.0078);
    EXPECT_NEAR(static_cast<double>(h.percentile(0.99)), 990.0, 990.0 * 0.0078);
    EXPECT_DOUBLE_EQ(h.mean(), 500.5);
    h.record(150'000'000);
    EXPECT_EQ(h.max(), 150'000'000);
    EXPECT_EQ(h.percentile(1.0), 150'000'000);
}

TEST(Summary, ShowsTotalsRatesMessagesAndClients) {
    RunStats s;
    auto add = [&](const char* client, ReplyKind kind, const char* message, std::int64_t us) {
        ReplyRecord r;
        r.client = client;
        r.kind = kind;
        r.message = message;
        r.replyUs = us;
        s.recordReply(r);
    };
    add("127.0.0.1:1", ReplyKind::Success, "", 1000);
    add("127.0.0.1:1", ReplyKind::Success, "", 3000);
    add("127.0.0.1:2", ReplyKind::Error, "login() - -601", 2000);
    add("127.0.0.1:2", ReplyKind::Failed, "", 2000);
    s.packetsSent = 5;
    s.lostPackets = 1;
    std::ostringstream out;
    writeSummary(out, s, 2'000'000, "--count 4 replies reached");
    const std::string text = out.str();
    for (const char* expected :
         {"stopped by:        --count 4 replies reached", "run time:          2.000 s",
          "packets sent:      5 (1 without a reply)", "replies:           4 (2.0 per second)",
          "success rate:      50.00 %", "mean 2.000  p50 2.007  p99 3.000  max 3.000",
          "    1  login() - -601", "127.0.0.1:1  2 / 0 / 0", "127.0.0.1:2  0 / 1 / 1"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST(Summary, ErrorTextsWithControlBytesStayOnTheirLine) {
    RunStats s;
    ReplyRecord r;
    r.client = "127.0.0.1:1";
    r.kind = ReplyKind::Error;
    r.message = "bad\r\n    99  forged\x1b[2J";
    s.recordReply(r);
    std::ostringstream out;
    writeSummary(out, s, 1'000'000, "");
    const std::string text = out.str();
    EXPECT_NE(text.find("    1  bad\\x0D\\x0A    99  forged\\x1B[2J\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

TEST(Progress, OneLineASecondWithTheRateOfTheLastInterval) {
    RunStats s;
    ProgressMeter meter(0);
    s.ok = 10;
    s.packetsSent = 12;
    EXPECT_EQ(meter.tick(999'999, s, 2), "");
    EXPECT_EQ(meter.tick(1'000'000, s, 2),
              "[   1.0 s] clients 2 | sent 12 | replies ok 10 failed 0 error 0 | 10.0 replies/s");
    s.errors = 5;
    EXPECT_EQ(meter.tick(2'000'000, s, 1),
              "[   2.0 s] clients 1 | sent 12 | replies ok 10 failed 0 error 5 | 5.0 replies/s");
}

}  // namespace
}  // namespace tarrow::ctrl
