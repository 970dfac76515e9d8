#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"
#include "tests/support/form_harness.h"

using tarrow::FormHarness;
using Lines = std::vector<std::string>;

namespace {

std::string line(const std::string& user) { return user + ",pw," + "127.0.0.1,Users.Vantric,srv"; }

Lines report(const std::string& elapsed, int performed, int successful) {
    return {"It took: " + elapsed + " to execute the client workload.", "",
            "  There were " + std::to_string(performed) + " operations performed.",
            "  Successful operations: " + std::to_string(successful)};
}

class BatchRun : public ::testing::Test {
protected:
    void SetUp() override {
        qdsfake_reset();
        h.form().toggleMode();
        h.memDebug.clear();
    }
    // Runs the batch over a users file of that content; returns the log.
    const Lines& run(const std::string& content) {
        h.form().workloadUsersFile = h.writeFile("users.dat", content);
        h.form().btnExecuteClick();
        return h.log();
    }
    FormHarness h;
};

}  // namespace

TEST_F(BatchRun, EmptyFileWritesOnlyTheReport) {
    EXPECT_EQ(run(""), report("00:00:00:00", 0, 0));
    EXPECT_TRUE(h.form().lastBatchCompleted);
    EXPECT_FALSE(h.form().usersStream.isOpen());
}

TEST_F(BatchRun, OutcomesInFileOrderWithCounts) {
    // Line 2 returns a negative code: its user record names no vendor while it runs.
    h.edtUser.onSetText = [&](const std::string& user) {
        if (user == "alice") h.form().user->vendor = 2;
        if (user == "bob") h.form().user->vendor = 1;
    };
    qdsfake_fail_user("carol", -669);
    const Lines& log = run(line("alice") + "\n" + line("bob") + "\n" + line("carol") + "\n");
    Lines expected{"alice Successful Login!", "bob Operation failed.  Error code: -10000",
                   "***DSUser DSERROR: QVDSLogin returned -669"};
    for (const auto& l : report("00:00:00:00", 3, 1)) expected.push_back(l);
    EXPECT_EQ(log, expected);
    // The edit boxes show the last user whose operation returned.
    EXPECT_EQ(h.edtUser.text(), "bob");
    EXPECT_EQ(h.edtPasswd.text(), "pw");
    EXPECT_EQ(h.edtTree.text(), "127.0.0.1");
    EXPECT_EQ(h.edtContext.text(), "Users.Vantric");
    EXPECT_EQ(h.edtServer.text(), "srv");
    EXPECT_EQ(h.form().user->userName, "carol");
}

TEST_F(BatchRun, LogsTheParsedUserNameAndTheElapsedTime) {
    h.monotonicClock.stepPerReadingUs = 65'250'000;
    const Lines& log = run(",,dave;pw 127.0.0.1,Users.Vantric,srv,300\n");
    EXPECT_EQ(log[0], "dave Successful Login!");
    EXPECT_EQ(log[1], "It took: 00:01:05:250 to execute the client workload.");
}

TEST_F(BatchRun, CarriageReturnsAreDroppedAndEmptyLinesSkipped) {
    const Lines& log = run("\r\n" + line("a") + "\r\n\n\r\r\r\n" + line("b") + "\r\n\r");
    EXPECT_EQ(log[0], "a Successful Login!");
    EXPECT_EQ(log[1], "b Successful Login!");
    EXPECT_EQ(log[4], "  There were 2 operations performed.");
    EXPECT_EQ(h.form().user->server, "srv");  // no carriage return left in the last field
}

TEST_F(BatchRun, LineOf254CharactersIsReadWhole) {
    std::string l = line("u") + ",";
    l += std::string(254 - l.size(), 'x');
    ASSERT_EQ(l.size(), 254u);
    const Lines& log = run(l + "\n");
    EXPECT_EQ(log[0], "u Successful Login!");
    EXPECT_EQ(log[3], "  There were 1 operations performed.");
}

TEST_F(BatchRun, LongerLineIsSkippedWithALogLineAndTheRunGoesOn) {
    const std::string longLine = line("long") + "," + std::string(300, 'x');
    const Lines& log = run(line("a") + "\n" + longLine + "\n" + line("b") + "\n");
    EXPECT_EQ(log[0], "a Successful Login!");
    EXPECT_EQ(log[1], "***ERROR: Line 2 is longer than 254 characters; skipped");
    EXPECT_EQ(log[2], "b Successful Login!");
    EXPECT_EQ(log[5], "  There were 2 operations performed.");
}

TEST_F(BatchRun, RejectedLineIsLoggedNotCountedAndTheRunGoesOn) {
    const Lines& log = run(line("a") + "\nonly,three,fields\n" + line("b") + "\n");
    Lines expected{"a Successful Login!", "***DSUser DSERROR: setUserInfo() - Insufficient data",
                   "b Successful Login!"};
    for (const auto& l : report("00:00:00:00", 2, 2)) expected.push_back(l);
    EXPECT_EQ(log, expected);
}

TEST_F(BatchRun, LastLineWithoutLineFeedIsRun) {
    const Lines& log = run(line("a") + "\n" + line("last"));
    EXPECT_EQ(log[1], "last Successful Login!");
    EXPECT_EQ(log[4], "  There were 2 operations performed.");
}

TEST_F(BatchRun, EndOfFileByteEndsTheFile) {
    const Lines& log = run(line("a") + "\n" + line("b") + "\x1A" + "\n" + line("c") + "\n");
    EXPECT_EQ(log[0], "a Successful Login!");
    EXPECT_EQ(log[1], "b Successful Login!");
    EXPECT_EQ(log[4], "  There were 2 operations performed.");
}

TEST_F(BatchRun, UnopenableFileIsOneErrorLineAndNoReport) {
    h.form().workloadUsersFile = (h.temp.path() / "missing.dat").string();
    h.form().btnExecuteClick();
    EXPECT_EQ(h.log(), Lines{"***ERROR: Cannot open users file \"" + h.form().workloadUsersFile +
                             "\": No such file or directory"});
    EXPECT_FALSE(h.form().lastBatchCompleted);

    h.form().workloadUsersFile = h.temp.path().string();  // a folder
    h.memDebug.clear();
    h.form().btnExecuteClick();
    EXPECT_EQ(h.log(), Lines{"***ERROR: Cannot open users file \"" + h.form().workloadUsersFile +
                             "\": Is a directory"});
}

TEST_F(BatchRun, OtherErrorsEndTheRunButTheFileIsClosedForTheNextRun) {
    h.edtUser.onSetText = [](const std::string&) { throw std::runtime_error("display gone"); };
    // Front ends run the button through guarded: the error reaches the report.
    h.form().guarded([&] { run(line("a") + "\n" + line("b") + "\n"); });
    EXPECT_EQ(h.errorReport.texts, Lines{"display gone"});
    EXPECT_FALSE(h.form().usersStream.isOpen());
    EXPECT_FALSE(h.form().lastBatchCompleted);
    h.edtUser.onSetText = nullptr;
    h.memDebug.clear();
    h.form().guarded([&] { h.form().btnExecuteClick(); });
    EXPECT_EQ(h.log()[1], "b Successful Login!");
    EXPECT_TRUE(h.form().lastBatchCompleted);
}

namespace {

// Keeps what the batch run tells its observer.
struct RecordingObserver : tarrow::BatchObserver {
    struct Login {
        std::string user;
        tarrow::LoginOutcome outcome;
        std::int32_t code;
        std::string message;
        std::int64_t us;
        tarrow::PhaseTimings phases;
    };
    void onRunStart(std::int64_t us) override { startUs = us; }
    void onLogin(const tarrow::BatchLogin& l) override {
        logins.push_back({std::string(l.user), l.outcome, l.code, std::string(l.message), l.endUs - l.startUs, l.phases});
        if (stopAfter && logins.size() == stopAfter) stop = true;
    }
    void onRejectedLine() override { ++rejected; }
    void onRunEnd(std::int64_t us, bool wasInterrupted) override {
        endUs = us;
        interrupted = wasInterrupted;
        ended = true;
    }
    std::int64_t startUs = -1, endUs = -1;
    std::vector<Login> logins;
    int rejected = 0;
    bool ended = false, interrupted = false;
    std::size_t stopAfter = 0;
    std::atomic<bool> stop{false};
};

}  // namespace

TEST_F(BatchRun, AnObserverSeesEveryLoginWithItsVirtualTimingsAndTheLogStaysTheSame) {
    h.form().workloadUsersFile =
        h.writeFile("users.dat", line("alice") + "\nshort,line\n" + line("bob") + "\n" + line("carol") + "\n");
    qdsfake_fail_user("bob", -203);
    qdsfake_set_login_delay_us(777);
    qdsfake_set_phase_us(QV_PHASE_VERIFY, 5);
    h.monotonicClock.stepPerReadingUs = 1000;  // each login takes 1 ms of virtual time
    RecordingObserver seen;
    h.form().runBatch(&seen);
    ASSERT_EQ(seen.logins.size(), 3u);
    EXPECT_EQ(seen.rejected, 1);
    EXPECT_TRUE(seen.ended);
    EXPECT_FALSE(seen.interrupted);
    EXPECT_EQ(seen.logins[0].user, "alice");
    EXPECT_EQ(seen.logins[0].outcome, tarrow::LoginOutcome::Success);
    EXPECT_EQ(seen.logins[0].code, 1);
    EXPECT_EQ(seen.logins[0].us, 1000);
    EXPECT_EQ(seen.logins[0].phases.of(tarrow::LoginPhase::Bind), 777);
    EXPECT_EQ(seen.logins[0].phases.of(tarrow::LoginPhase::Verify), 5);
    EXPECT_EQ(seen.logins[1].outcome, tarrow::LoginOutcome::Error);
    EXPECT_EQ(seen.logins[1].message, "QVDSLogin returned -203");
    EXPECT_TRUE(seen.logins[1].phases.has(tarrow::LoginPhase::Unbind));  // alice's login ends in bob's
    EXPECT_FALSE(seen.logins[1].phases.has(tarrow::LoginPhase::Verify));
    EXPECT_EQ(seen.logins[2].outcome, tarrow::LoginOutcome::Success);
    EXPECT_EQ(h.log(), (Lines{"alice Successful Login!", "***DSUser DSERROR: setUserInfo() - Insufficient data",
                              "***DSUser DSERROR: QVDSLogin returned -203", "carol Successful Login!",
                              // 1 ms a reading: start, two around each of the 3 logins, end
                              "It took: 00:00:00:07 to execute the client workload.", "",
                              "  There were 3 operations performed.", "  Successful operations: 2"}));
}

TEST_F(BatchRun, AskedToStopItEndsBeforeTheNextLineWithoutItsReportLines) {
    h.form().workloadUsersFile = h.writeFile("users.dat", line("a") + "\n" + line("b") + "\n" + line("c") + "\n");
    RecordingObserver seen;
    seen.stopAfter = 2;
    h.form().runBatch(&seen, &seen.stop);
    EXPECT_EQ(seen.logins.size(), 2u);
    EXPECT_TRUE(seen.interrupted);
    EXPECT_FALSE(h.form().lastBatchCompleted);
    EXPECT_EQ(h.log(), (Lines{"a Successful Login!", "b Successful Login!"}));
    EXPECT_FALSE(h.form().usersStream.isOpen());
}
