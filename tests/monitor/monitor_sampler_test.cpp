// The sampler over a scripted source: its first reading before the run, the seconds it
// reads, one warning per loss, the monitor's own binds counted apart, and the seconds of
// the report made of its readings.
#include "common/monitor/directory_series.h"
#include "common/monitor/monitor_sampler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

using namespace tarrow::monitor;

std::int64_t steadyUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Each read returns completed = 10 * reads, and fails while `failing` is set.
class ScriptedSource final : public MonitorSource {
public:
    std::atomic<bool> failing{false};
    std::atomic<int> dialect{DIRMON_COUNTER_SUBTREE};
    std::atomic<int> reads{0};
    std::atomic<std::uint64_t> binds{1};
    std::atomic<int> failures{0};

    bool read(DirmonSample& s, std::string& error) override {
        if (failing) {
            ++failures;
            error = "cannot connect: Can't contact LDAP server";
            return false;
        }
        const int n = ++reads;
        s = DirmonSample{dialect, 10LL * n, 10LL * n, n, 0, 0, 4};
        return true;
    }
    std::uint64_t ownBinds() const override { return binds; }
};

struct Harness {
    ScriptedSource* source = nullptr;
    std::vector<std::string> warnings;
    std::mutex mutex;
    std::unique_ptr<MonitorSampler> sampler;

    explicit Harness(std::int64_t periodUs = 20'000) {
        auto owned = std::make_unique<ScriptedSource>();
        source = owned.get();
        sampler = std::make_unique<MonitorSampler>(
            "ldap://127.0.0.1:1", std::move(owned), steadyUs,
            [this](const std::string& w) {
                const std::lock_guard lock(mutex);
                warnings.push_back(w);
            },
            periodUs);
    }
    std::size_t warningCount() {
        const std::lock_guard lock(mutex);
        return warnings.size();
    }
};

// Waits (bounded) until done() holds.
template <typename Done>
bool eventually(Done done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

TEST(MonitorSampler, TheFirstReadingIsDoneWhenStartReturnsAndStopClosesTheLastSecond) {
    Harness h;
    h.sampler->start(steadyUs());
    EXPECT_EQ(h.sampler->state().readings.size(), 1u);
    ASSERT_TRUE(eventually([&] { return h.source->reads >= 4; }));
    h.sampler->stop();
    const MonitorState s = h.sampler->state();
    ASSERT_GE(s.readings.size(), 4u);
    EXPECT_TRUE(s.unavailable.empty());
    EXPECT_EQ(s.dialect, DIRMON_COUNTER_SUBTREE);
    for (std::size_t i = 1; i < s.readings.size(); ++i) EXPECT_GT(s.readings[i].tick, s.readings[i - 1].tick);
    EXPECT_EQ(s.last->tick, s.readings.back().tick);
    // 10 per reading, no binds of its own after the first.
    EXPECT_EQ(s.completedByOthers(), 10 * (static_cast<std::int64_t>(s.readings.size()) - 1));
    EXPECT_EQ(h.warningCount(), 0u);
}

TEST(MonitorSampler, ItsOwnBindsAreTakenOffTheServersCount) {
    Harness h;
    h.sampler->start(steadyUs());
    h.source->binds = 3;  // two reconnections
    ASSERT_TRUE(eventually([&] { return h.source->reads >= 2; }));
    h.sampler->stop();
    const MonitorState s = h.sampler->state();
    EXPECT_EQ(s.ownBindsOverRun(), 2u);
    EXPECT_EQ(s.completedByOthers(), 10 * (static_cast<std::int64_t>(s.readings.size()) - 1) - 2);
}

TEST(MonitorSampler, AServerThatCannotBeReadGivesOneWarningAndTheReason) {
    Harness h;
    h.source->failing = true;
    h.sampler->start(steadyUs());
    ASSERT_TRUE(eventually([&] { return h.source->failures >= 3; }));
    h.sampler->stop();
    const MonitorState s = h.sampler->state();
    EXPECT_TRUE(s.readings.empty());
    EXPECT_EQ(s.unavailable, "cannot connect: Can't contact LDAP server");
    EXPECT_FALSE(s.completedByOthers());
    ASSERT_EQ(h.warningCount(), 1u);
    EXPECT_NE(h.warnings[0].find("ldap://127.0.0.1:1 cannot be read: cannot connect"), std::string::npos);
    EXPECT_NE(h.warnings[0].find("the run goes on"), std::string::npos);
}

TEST(MonitorSampler, AServerWithoutMonitorEntriesIsUnavailableToo) {
    Harness h;
    h.source->dialect = DIRMON_NONE;
    h.sampler->start(steadyUs());
    h.sampler->stop();
    EXPECT_NE(h.sampler->state().unavailable.find("no monitor entries"), std::string::npos);
    EXPECT_EQ(h.warningCount(), 1u);
}

TEST(MonitorSampler, ALossMidRunWarnsOnceAndTheReadingsResume) {
    Harness h;
    h.sampler->start(steadyUs());
    ASSERT_TRUE(eventually([&] { return h.source->reads >= 2; }));
    h.source->failing = true;
    ASSERT_TRUE(eventually([&] { return h.source->failures >= 3; }));
    h.source->failing = false;
    const int before = h.source->reads;
    ASSERT_TRUE(eventually([&] { return h.source->reads >= before + 2; }));
    h.sampler->stop();
    const MonitorState s = h.sampler->state();
    EXPECT_EQ(h.warningCount(), 1u);
    EXPECT_NE(h.warnings[0].find("stopped at second"), std::string::npos);
    EXPECT_GE(s.failedReadings, 3u);
    EXPECT_TRUE(s.latestGood);
    EXPECT_GT(s.last->tick, s.readings.front().tick + 4);
}

TEST(DirectorySeries, EachSecondRunsFromTheReadingAtItsStartToTheOneAtItsEnd) {
    MonitorState s;
    const auto reading = [](std::int64_t tick, long long completed, std::uint64_t own, long long connections) {
        return MonitorReading{tick, tick * 1'000'000, own,
                              DirmonSample{1, completed, completed, connections, 1, 0, 8}};
    };
    s.readings = {reading(0, 100, 1, 2), reading(1, 150, 1, 5), reading(3, 260, 2, 3), reading(4, 270, 2, 2)};
    s.last = s.readings.back();
    const auto seconds = directoryIntervals(s, 5);
    ASSERT_EQ(seconds.size(), 5u);
    EXPECT_EQ(seconds[0].completed, 50);
    EXPECT_EQ(seconds[0].connections, 5);
    EXPECT_FALSE(seconds[1].completed);  // the reading at its end is missing
    EXPECT_EQ(seconds[1].connections, -1);
    EXPECT_FALSE(seconds[2].completed);  // the one at its start
    EXPECT_EQ(seconds[2].connections, 3);
    EXPECT_EQ(seconds[3].completed, 10);
    EXPECT_EQ(seconds[3].threads, 8);
    EXPECT_FALSE(seconds[4].completed);  // after the last reading
    EXPECT_EQ(s.completedByOthers(), 169);
}

}  // namespace
