// One schema for both programs: the batch run's report and the controller's, each written by
// its own program's code from virtual figures, have the same keys but for the controlled-only
// ones, and docs/report.md names every key of both.
#include "client/report/batch_report.h"
#include "common/capacity/capacity_json.h"
#include "common/load/load_json.h"
#include "controller/core/json_report.h"
#include "controller/core/run_stats.h"
#include "report/compare/run_figures.h"
#include "report/model/report_writer.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

namespace {

using namespace tarrow;

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// paced: a run at a chosen rate, whose logins were due 1 ms before they started.
nlohmann::json batchReport(const TempFolder& folder, bool paced = false) {
    const auto dir = folder.path() / (paced ? "paced" : "batch");
    BatchReport report(
        {dir, "users.csv", [] { return std::int64_t{1'796'680'415'000}; }, folder.path() / "no-proc"});
    report.onRunStart(0);
    for (int i = 0; i < 30; ++i) {
        BatchLogin l;
        l.user = "u";
        l.outcome = i % 7 == 3 ? LoginOutcome::Error : LoginOutcome::Success;
        l.message = l.outcome == LoginOutcome::Error ? "QVDSLogin returned -203" : "";
        l.code = l.outcome == LoginOutcome::Error ? 0 : 1;
        l.startUs = i * 100'000;
        l.endUs = l.startUs + 400;
        l.phases.set(LoginPhase::Connect, 50);
        l.phases.set(LoginPhase::Bind, 300);
        if (paced) l.dueUs = l.startUs - 1000;
        report.onLogin(l);
    }
    report.onRunEnd(3'000'000, false);
    if (paced) {
        load::LoadPlan plan;
        plan.curve = {{10, 3}};
        load::LoadTimeline timeline(0);
        timeline.add({0, 0, 10, 400});
        report.setLoad(load::loadJson(plan, timeline, load::LoadSchedule(plan, 0), load::RateHeld{3, -1, 1}));
    }
    report.finish();
    return nlohmann::json::parse(readAll(dir / "report.json"));
}

nlohmann::json controlledReport() {
    ctrl::RunStats s;
    timings::LoginTimings t;
    t.executeUs = 400;
    t.lagUs = 5;
    t.phases.set(LoginPhase::Connect, 50);
    t.phases.set(LoginPhase::Bind, 300);
    ctrl::ReplyRecord r;
    r.client = "127.0.0.1:5000";
    r.user = "u";
    r.timings = &t;
    s.recordTimingsSupport(r.client, ctrl::TimingsSupport::Reporting);
    // Three failures in a row, then successes: an outage and its recovery.
    for (int i = 0; i < 30; ++i) {
        r.kind = i < 3 ? ctrl::ReplyKind::Error : ctrl::ReplyKind::Success;
        r.code = i < 3 ? 0 : 1;
        r.message = i < 3 ? "QVDSLogin returned -203" : "";
        r.sinceStartUs = i * 100'000;
        s.recordReply(r);
    }
    ctrl::LeaseRecord lease;
    lease.client = r.client;
    lease.user = "v";
    s.recordIndeterminate(lease);
    s.intervals.clients(0, 1);
    s.finish(3'000'000);
    ctrl::ReportContext c;
    c.elapsedUs = 3'000'000;
    c.usersFile = "users.csv";
    return nlohmann::json::parse(ctrl::reportJson(s, c));
}

bool controlledOnly(const std::string& path) {
    for (const std::string& key : controlledOnlyKeys())
        if (path == key || path.starts_with(key + ".") || path.starts_with(key + "[]")) return true;
    return false;
}

// A capacity search's report: a warm-up and one step of each verdict.
nlohmann::json capacityReport(const TempFolder& folder) {
    BatchReport report({folder.path() / "capacity", "users.csv", [] { return std::int64_t{0}; }});
    capacity::SearchSettings settings;
    settings.objective = *capacity::parseObjective("p99<=10ms,errors<=1%").objective;
    capacity::SearchResult result;
    result.outcome = capacity::Outcome::Found;
    result.highestMet = 100;
    result.lowestFailed = 200;
    result.warmUp = capacity::StepRecord{};
    for (auto verdict : {capacity::Verdict::Met, capacity::Verdict::Failed}) {
        capacity::StepRecord step;
        step.offeredPerSecond = verdict == capacity::Verdict::Met ? 100 : 200;
        step.counted = 10;
        step.verdict = verdict;
        result.steps.push_back(step);
    }
    report.setCapacity(capacity::capacityJson(result, settings));
    return nlohmann::json::parse(report.reportJson());
}

TEST(ReportSchema, BothProgramsWriteTheSameKeysButTheControlledOnes) {
    TempFolder folder;
    const auto batch = compare::reportKeyPaths(batchReport(folder));
    const auto controlled = compare::reportKeyPaths(controlledReport());
    for (const std::string& key : batch)
        EXPECT_TRUE(controlled.count(key)) << key << ": in the batch run's report only";
    for (const std::string& key : controlled)
        if (!batch.count(key)) {
            EXPECT_TRUE(controlledOnly(key)) << key << ": only controlled, and not said to be";
        }
    for (const std::string& key : controlledOnlyKeys())
        EXPECT_TRUE(controlled.count(key)) << key << ": listed as controlled-only but not written";
}

TEST(ReportSchema, APacedRunAddsExactlyItsOwnKeysTimedFromDue) {
    TempFolder folder;
    const auto json = batchReport(folder, true);
    auto paced = compare::reportKeyPaths(json);
    const auto plain = compare::reportKeyPaths(batchReport(folder));
    for (const std::string& key : plain) EXPECT_TRUE(paced.count(key)) << key << ": missing in a paced run";
    for (const std::string& key : pacedOnlyKeys()) EXPECT_TRUE(paced.count(key)) << key << ": not written";
    for (const std::string& key : paced) {
        const bool own = std::any_of(pacedOnlyKeys().begin(), pacedOnlyKeys().end(), [&](const std::string& k) {
            return key == k || key.starts_with(k + ".") || key.starts_with(k + "[]");
        });
        EXPECT_TRUE(plain.count(key) || own) << key << ": only paced, and not said to be";
    }
    // Latency from due, service from start, the lag between them.
    EXPECT_EQ(json["latency_us"]["p50"], 1400);
    EXPECT_EQ(json["service_us"]["p50"], 400);
    EXPECT_EQ(json["schedule_lag_us"]["p50"], 1000);
    EXPECT_EQ(json["intervals"][0]["p50_us"], 1400);
    EXPECT_EQ(json["load"]["mode"], "open");
}

TEST(ReportSchema, TheDocumentationNamesEveryKeyOfBoth) {
    TempFolder folder;
    const std::string docs = readAll(std::filesystem::path(TARROW_SOURCE_DIR) / "docs" / "report.md");
    ASSERT_FALSE(docs.empty());
    auto keys = compare::reportKeyPaths(batchReport(folder));
    keys.merge(compare::reportKeyPaths(controlledReport()));
    keys.merge(compare::reportKeyPaths(batchReport(folder, true)));
    keys.merge(compare::reportKeyPaths(capacityReport(folder)));
    // A key has its row; an object or array its members' rows; a member of the percentile
    // shape is documented with the shape, under its object's row.
    const std::function<bool(const std::string&)> documented = [&](const std::string& key) {
        if (docs.find("| `" + key + "` |") != std::string::npos ||
            docs.find("| `" + key + ".") != std::string::npos ||
            docs.find("| `" + key + "[]") != std::string::npos)
            return true;
        const auto dot = key.find_last_of('.');
        if (dot == std::string::npos) return false;
        static const std::set<std::string> shape = {"count", "mean", "p50", "p90", "p99", "p999", "max"};
        return shape.count(key.substr(dot + 1)) && documented(key.substr(0, dot));
    };
    for (const std::string& key : keys) {
        EXPECT_TRUE(documented(key)) << key << " is not in docs/report.md";
        if (controlledOnly(key) && !key.ends_with("[]")) {
            const auto row = docs.find("| `" + key + "` |");
            if (row != std::string::npos) {
                EXPECT_NE(docs.substr(row, docs.find('\n', row) - row).find("*controlled*"), std::string::npos)
                    << key << " is not marked controlled";
            }
        }
    }
}

TEST(ReportSchema, TextThatIsNotUtf8IsReadAsLatin1AndUtf8StaysAsItIs) {
    EXPECT_EQ(reportString("caf\xe9"), "caf\xc3\xa9");
    EXPECT_EQ(reportString("caf\xc3\xa9"), "caf\xc3\xa9");
    EXPECT_EQ(reportString("\xc3"), "\xc3\x83") << "a cut sequence is not UTF-8";
    EXPECT_EQ(reportString("\xed\xa0\x80"), "\xc3\xad\xc2\xa0\xc2\x80") << "a surrogate is not UTF-8";
    EXPECT_EQ(reportString("\xc0\xaf"), "\xc3\x80\xc2\xaf") << "an overlong form is not UTF-8";
    EXPECT_EQ(reportString("\xf0\x9f\x99\x82"), "\xf0\x9f\x99\x82");
}

}  // namespace
