// The paced batch run over the recording double: one worker in virtual time (due times exact,
// no sleeping), several workers on real threads (every line run once, each log line whole).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "client/ui/paced_batch_run.h"
#include "qds/fake/qdsfake.h"
#include "tests/support/fake_controls.h"
#include "tests/support/temp_folder.h"

using tarrow::load::LoadPlan;
using Lines = std::vector<std::string>;

namespace {

std::string line(const std::string& user) { return user + ",pw,127.0.0.1,Users.Vantric,srv\n"; }

std::string usersFile(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += line("u" + std::to_string(i));
    return text;
}

// Time moves only when a worker sleeps until a login is due: logins take no time.
class VirtualLoadClock : public tarrow::load::LoadClock {
public:
    std::int64_t nowUs() const override { return us_.load(); }
    void sleepUntilUs(std::int64_t us, const std::atomic<bool>&) override {
        if (us > us_.load()) us_.store(us);
    }

private:
    std::atomic<std::int64_t> us_{7'000'000};
};

// A log pane that several workers may write to at once (the run serialises them; this one
// would catch a line written in parts as two lines).
class SharedLogPane : public tarrow::LogPane {
public:
    void append(const std::string& text) override {
        const std::lock_guard guard(mutex);
        lines.push_back(text);
    }
    void clear() override { lines.clear(); }
    std::mutex mutex;
    Lines lines;
};

class Recorder : public tarrow::BatchObserver {
public:
    void onRunStart(std::int64_t us) override { startUs = us; }
    void onLogin(const tarrow::BatchLogin& l) override { logins.push_back({l.due(), l.startUs, l.endUs}); }
    void onRejectedLine() override { ++rejected; }
    void onRunEnd(std::int64_t, bool) override {}
    struct Times {
        std::int64_t due, start, end;
    };
    std::int64_t startUs = 0;
    std::vector<Times> logins;
    int rejected = 0;
};

class PacedBatchRun : public ::testing::Test {
protected:
    void SetUp() override { qdsfake_reset(); }
    tarrow::BatchTally run(const std::string& content, const LoadPlan& plan, tarrow::load::LoadClock& clock,
                           const std::atomic<bool>* stop = nullptr) {
        tarrow::PacedBatchRun batch({.reader = reader,
                                     .log = log,
                                     .boxes = {edtUser, edtPasswd, edtTree, edtContext, edtServer},
                                     .clock = clock},
                                    plan);
        const auto tally = batch.run(temp.writeFile("users.dat", content), &recorder, stop);
        held = batch.rateHeld();
        return tally;
    }
    static LoadPlan openLoop(double rate, double seconds, int workers) {
        LoadPlan plan;
        plan.workers = workers;
        plan.curve = {{rate, seconds}};
        return plan;
    }

    tarrow::TempFolder temp;
    tarrow::UsersFileReader reader;
    SharedLogPane log;
    tarrow::FakeEditBox edtUser, edtPasswd, edtTree, edtContext, edtServer;
    Recorder recorder;
    VirtualLoadClock virtualClock;
    tarrow::load::SteadyLoadClock steadyClock;
    std::optional<tarrow::load::RateHeld> held;
};

}  // namespace

TEST_F(PacedBatchRun, OneWorkerInVirtualTimeStartsEachLoginWhenDueUntilTheCurveEnds) {
    const auto tally = run(usersFile(30), openLoop(10, 2, 1), virtualClock);
    ASSERT_EQ(recorder.logins.size(), 20u);  // the curve ends before the file
    for (std::size_t i = 0; i < recorder.logins.size(); ++i) {
        EXPECT_EQ(recorder.logins[i].due, recorder.startUs + static_cast<std::int64_t>(i) * 100'000) << i;
        EXPECT_EQ(recorder.logins[i].start, recorder.logins[i].due) << i;
    }
    EXPECT_TRUE(tally.fileRead);
    EXPECT_EQ(tally.performed, 20);
    ASSERT_EQ(log.lines.size(), 24u);
    EXPECT_EQ(log.lines[0], "u1 Successful Login!");
    EXPECT_EQ(log.lines[19], "u20 Successful Login!");
    EXPECT_EQ(log.lines[20], "It took: 00:00:01:900 to execute the client workload.");
    EXPECT_EQ(log.lines[22], "  There were 20 operations performed.");
    EXPECT_EQ(log.lines[23], "  Successful operations: 20");
    ASSERT_TRUE(held);
    EXPECT_EQ(held->fullSeconds, 2);
    EXPECT_EQ(held->lowestPct, 0);
    EXPECT_EQ(qdsfake_open_logins(), 0);  // the workers' users logged out at the end
    EXPECT_EQ(qdsfake_open_contexts(), 0);
    EXPECT_FALSE(reader.isOpen());
}

TEST_F(PacedBatchRun, DurationReadsTheFileAgainAndCountsRejectedLinesEachTime) {
    qdsfake_fail_user("u2", -669);
    LoadPlan plan = openLoop(10, 100, 1);
    plan.durationUs = 1'000'000;
    const auto tally = run(line("u1") + "too,few\n" + line("u2"), plan, virtualClock);
    EXPECT_EQ(tally.performed, 10);
    EXPECT_EQ(tally.successful, 5);
    EXPECT_EQ(tally.directoryErrors, 5);
    EXPECT_EQ(tally.rejectedLines, 5);
    EXPECT_EQ(recorder.rejected, 5);
    EXPECT_EQ(log.lines[0], "u1 Successful Login!");
    EXPECT_EQ(log.lines[1], "***DSUser DSERROR: setUserInfo() - Insufficient data");
    EXPECT_EQ(log.lines[2], "***DSUser DSERROR: QVDSLogin returned -669");
    EXPECT_EQ(log.lines[3], "u1 Successful Login!");
}

TEST_F(PacedBatchRun, AFileWithoutALoginEndsARunWithDuration) {
    LoadPlan plan = openLoop(10, 100, 1);
    plan.durationUs = 10'000'000;
    const auto tally = run("too,few\n\n", plan, virtualClock);
    EXPECT_EQ(tally.performed, 0);
    EXPECT_EQ(tally.rejectedLines, 1);
    EXPECT_EQ(log.lines.back(), "  Successful operations: 0");
}

TEST_F(PacedBatchRun, AMissingFileIsLoggedAndRunsNothing) {
    tarrow::PacedBatchRun batch(
        {reader, log, {edtUser, edtPasswd, edtTree, edtContext, edtServer}, virtualClock}, openLoop(10, 1, 2));
    const auto tally = batch.run((temp.path() / "missing.dat").string());
    EXPECT_FALSE(tally.fileRead);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].rfind("***ERROR: Cannot open users file", 0), 0u);
}

TEST_F(PacedBatchRun, WorkersOnThreadsRunEveryLineOnceWithWholeLogLines) {
    qdsfake_set_recording(0);
    qdsfake_set_login_delay_us(200);
    qdsfake_fail_user("u7", -203);
    LoadPlan plan;
    plan.workers = 4;
    const auto tally = run(usersFile(400), plan, steadyClock);
    EXPECT_TRUE(tally.fileRead);
    EXPECT_EQ(tally.performed, 400);
    EXPECT_EQ(tally.successful, 399);
    ASSERT_EQ(log.lines.size(), 404u);
    std::map<std::string, int> seen;
    for (std::size_t i = 0; i < 400; ++i) ++seen[log.lines[i]];
    EXPECT_EQ(seen.size(), 400u);
    EXPECT_EQ(seen["u400 Successful Login!"], 1);
    EXPECT_EQ(seen["***DSUser DSERROR: QVDSLogin returned -203"], 1);
    EXPECT_EQ(log.lines[402], "  There were 400 operations performed.");
    // A closed loop: each login was due when its worker was free, and started then.
    for (const auto& t : recorder.logins) {
        EXPECT_LE(t.due, t.start);
        EXPECT_LE(t.start, t.end);
    }
    EXPECT_EQ(qdsfake_open_logins(), 0);
    EXPECT_EQ(qdsfake_open_contexts(), 0);
    EXPECT_EQ(qdsfake_open_unicode_tables(), 0);
}

TEST_F(PacedBatchRun, OpenLoopOnThreadsStopsWhenAsked) {
    qdsfake_set_recording(0);
    std::atomic<bool> stop{false};
    edtUser.onSetText = [&](const std::string& name) {
        if (name == "u5") stop = true;
    };
    const auto tally = run(usersFile(1000), openLoop(1000, 10, 3), steadyClock, &stop);
    EXPECT_TRUE(tally.interrupted);
    EXPECT_FALSE(tally.fileRead);
    EXPECT_LT(tally.performed, 50);
    EXPECT_TRUE(std::none_of(log.lines.begin(), log.lines.end(),
                             [](const std::string& l) { return l.rfind("It took: ", 0) == 0; }));
    EXPECT_EQ(qdsfake_open_logins(), 0);
}
