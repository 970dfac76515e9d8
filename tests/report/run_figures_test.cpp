#include "report/compare/run_figures.h"

#include <gtest/gtest.h>

#include "common/latency_histogram.h"
#include "tests/support/temp_folder.h"

namespace tarrow::compare {
namespace {

std::string writeFile(const TempFolder& folder, const std::string& name, const std::string& text) {
    return folder.writeFile(name, text);
}

TEST(ReadRunFigures, ReadsLatencyPhasesAndIntervals) {
    TempFolder folder;
    const std::string path = writeFile(folder, "report.json", R"({
      "logins_per_s": 512.5,
      "latency_us": {"count": 10, "p50": 500, "p90": 700, "p99": 900, "p999": 950, "max": 990},
      "phases_us": {"bind": {"count": 10, "p50": 300, "p99": 600}, "tls": {"count": 0}},
      "intervals": [{"t_s": 0, "logins": 500}, {"t_s": 1, "logins": 525}, {"t_s": 2, "logins": 7}]})");
    std::string error;
    const auto run = readRunFigures(path, error);
    ASSERT_TRUE(run) << error;
    EXPECT_DOUBLE_EQ(run->loginsPerSecond, 512.5);
    EXPECT_EQ(run->measures.at("latency").count, 10u);
    EXPECT_DOUBLE_EQ(run->measures.at("latency").percentilesUs.at("p999"), 950);
    EXPECT_DOUBLE_EQ(run->measures.at("bind").percentilesUs.at("p99"), 600);
    EXPECT_EQ(run->measures.count("tls"), 0u);  // a phase that never ran is not compared
    EXPECT_EQ(run->loginsPerInterval, (std::vector<double>{500, 525}));  // not the partial last second
}

TEST(ReadRunFigures, TakesEveryRankFromTheRunsHistogram) {
    LatencyHistogram h;
    for (int us = 1; us <= 100; ++us) h.record(us);
    TempFolder folder;
    const std::string path = writeFile(folder, "report.json",
                                       R"({"latency_us": {"count": 100, "p50": 50},
                                           "histograms": {"latency": ")" +
                                           h.serializeText() + R"("}})");
    std::string error;
    const auto run = readRunFigures(path, error);
    ASSERT_TRUE(run) << error;
    const Distribution& d = run->measures.at("latency");
    ASSERT_TRUE(d.valueAtRankUs);
    EXPECT_DOUBLE_EQ(d.valueAtRankUs(0), 1);
    EXPECT_DOUBLE_EQ(d.valueAtRankUs(49), 50);
    EXPECT_DOUBLE_EQ(d.valueAtRankUs(99), 100);
    // Without histograms (older files) there is no interval, and no error.
    const std::string plain = writeFile(folder, "plain.json", R"({"latency_us": {"count": 100, "p50": 50}})");
    const auto old = readRunFigures(plain, error);
    ASSERT_TRUE(old) << error;
    EXPECT_FALSE(old->measures.at("latency").valueAtRankUs);
}

TEST(ReadRunFigures, AHistogramPresentButBrokenIsAnErrorNamingFileAndKey) {
    LatencyHistogram h;
    for (int us = 1; us <= 100; ++us) h.record(us);
    const std::string good = h.serializeText();
    std::string flipped = good;
    flipped[3] = flipped[3] == 'A' ? 'B' : 'A';
    TempFolder folder;
    const auto report = [&](const std::string& count, const std::string& histogram) {
        return R"({"latency_us": {"count": )" + count + R"(, "p50": 50}, "histograms": {"latency": )" +
               histogram + "}}";
    };
    struct Case {
        const char* what;
        std::string text;
        const char* error;
    };
    const Case cases[] = {
        {"one character changed", report("100", "\"" + flipped + "\""), "\"histograms.latency\""},
        {"cut short", report("100", "\"" + good.substr(0, good.size() - 3) + "\""), "\"histograms.latency\""},
        {"not a string", report("100", "17"), "\"histograms.latency\" does not decode"},
        {"another count", report("7", "\"" + good + "\""), "holds 100 values where the figures count 7"},
        {"histograms not an object", R"({"latency_us": {"count": 1}, "histograms": []})", "\"histograms\""},
        {"a newer format", R"({"format": 3, "latency_us": {"count": 1}})", "report format 3"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(readRunFigures(writeFile(folder, "broken.json", c.text), error)) << c.what;
        EXPECT_NE(error.find("broken.json: "), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
    std::string error;
    EXPECT_TRUE(readRunFiguresText(R"({"format": 1, "latency_us": {"count": 0}})", "f1", error)) << error;
    EXPECT_TRUE(readRunFiguresText(R"({"format": 2, "latency_us": {"count": 0}})", "f2", error)) << error;
}

TEST(ReadRunFigures, SaysWhatIsWrongWithAFile) {
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(readRunFigures((folder.path() / "missing.json").string(), error));
    EXPECT_NE(error.find("missing.json: cannot be read"), std::string::npos) << error;
    EXPECT_FALSE(readRunFigures(writeFile(folder, "a.json", "{\"latency_us\": "), error));
    EXPECT_NE(error.find("a.json: not a JSON report"), std::string::npos) << error;
    EXPECT_FALSE(readRunFigures(writeFile(folder, "b.json", "{\"logins\": {}}"), error));
    EXPECT_NE(error.find("b.json: not a Tarrow report: no \"latency_us\""), std::string::npos) << error;
    EXPECT_FALSE(readRunFigures(writeFile(folder, "c.json", "{\"latency_us\": {\"count\": \"ten\"}}"), error));
    EXPECT_NE(error.find("c.json: not a Tarrow report"), std::string::npos) << error;
}

}  // namespace
}  // namespace tarrow::compare
