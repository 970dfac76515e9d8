// The report's directory section: the server's seconds beside the run's, its totals less the
// monitor's own binds, "unavailable" with the reason, and docs/report.md naming every key.
#include "common/monitor/monitor_sampler.h"
#include "report/compare/run_figures.h"
#include "report/model/report_writer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace {

using namespace tarrow;

monitor::MonitorState twoSecondsOfCounters() {
    monitor::MonitorState d;
    d.uri = "ldap://127.0.0.1:3389";
    d.dialect = DIRMON_COUNTER_SUBTREE;
    const auto reading = [](std::int64_t tick, long long completed, std::uint64_t own, long long waiters) {
        return monitor::MonitorReading{
            tick, tick * 1'000'000 + 300, own,
            DirmonSample{DIRMON_COUNTER_SUBTREE, completed, completed, 7, waiters, 0, 16}};
    };
    d.readings = {reading(0, 40, 1, 0), reading(1, 65, 1, 2), reading(2, 90, 2, 1)};
    d.last = d.readings.back();
    d.latestGood = true;
    return d;
}

nlohmann::json reportWith(const monitor::MonitorState* directory) {
    IntervalSeries seconds;
    for (int i = 0; i < 49; ++i) seconds.record(i * 40'000, LoginOutcome::Success, 300);
    seconds.finish(1'960'000);
    RunReport r;
    r.program = "TarrowCli --batch";
    r.intervals = &seconds;
    r.directory = directory;
    return nlohmann::json::parse(reportJson(r));
}

TEST(DirectorySection, TheServersSecondsAreTheRunsSecondsLessTheMonitorsOwnBinds) {
    const auto d = twoSecondsOfCounters();
    const auto j = reportWith(&d);
    ASSERT_EQ(j["intervals"].size(), 2u);
    const auto& dir = j["directory"];
    EXPECT_EQ(dir["uri"], "ldap://127.0.0.1:3389");
    EXPECT_EQ(dir["source"], "cn=Monitor counters");
    EXPECT_EQ(dir["counts"], "binds");
    ASSERT_EQ(dir["intervals"].size(), 2u);
    EXPECT_EQ(dir["intervals"][0]["t_s"], 0);
    EXPECT_EQ(dir["intervals"][0]["completed"], 25);
    EXPECT_EQ(dir["intervals"][0]["read_waiters"], 2);
    EXPECT_EQ(dir["intervals"][1]["completed"], 24);  // a reconnection's bind is the monitor's
    EXPECT_EQ(dir["intervals"][1]["connections"], 7);
    EXPECT_EQ(dir["intervals"][1]["threads"], 16);
    EXPECT_EQ(dir["totals"]["completed"], 49);
    EXPECT_EQ(dir["totals"]["monitor_binds"], 1);
    EXPECT_EQ(dir["totals"]["readings"], 3);
    EXPECT_FALSE(reportWith(nullptr).contains("directory"));
}

TEST(DirectorySection, AServerThatCouldNotBeReadIsUnavailableWithTheReason) {
    monitor::MonitorState d;
    d.uri = "ldap://127.0.0.1:1";
    d.unavailable = "cannot connect: Can't contact LDAP server";
    const auto dir = reportWith(&d)["directory"];
    EXPECT_EQ(dir["source"], "unavailable");
    EXPECT_EQ(dir["reason"], "cannot connect: Can't contact LDAP server");
    EXPECT_FALSE(dir.contains("intervals"));
}

TEST(DirectorySection, TheOtherDialectCountsOperationsAndHasNoWriteWaiters) {
    auto d = twoSecondsOfCounters();
    d.dialect = DIRMON_OPS_ENTRY;
    for (auto& r : d.readings) r.sample.write_waiters = -1;
    const auto dir = reportWith(&d)["directory"];
    EXPECT_EQ(dir["source"], "cn=monitor entry");
    EXPECT_EQ(dir["counts"], "operations");
    EXPECT_TRUE(dir["intervals"][0]["write_waiters"].is_null());
}

TEST(DirectorySection, TheDocumentationNamesEveryKey) {
    std::ifstream in(std::string(TARROW_SOURCE_DIR) + "/docs/report.md");
    std::stringstream docs;
    docs << in.rdbuf();
    auto d = twoSecondsOfCounters();
    auto keys = compare::reportKeyPaths(reportWith(&d));
    monitor::MonitorState none;
    keys.merge(compare::reportKeyPaths(reportWith(&none)));
    for (const std::string& key : keys) {
        if (!key.starts_with("directory")) continue;
        EXPECT_TRUE(docs.str().find("| `" + key + "` |") != std::string::npos ||
                    docs.str().find("| `" + key + "[]") != std::string::npos ||
                    docs.str().find("| `" + key + ".") != std::string::npos)
            << key << " is not in docs/report.md";
    }
}

}  // namespace
