#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "client/ui/batch_run.h"
#include "qds/fake/qdsfake.h"
#include "qds/include/qvdsapi.h"
#include "tests/support/fake_controls.h"
#include "tests/support/temp_folder.h"
#include "tests/support/virtual_scheduler.h"

using tarrow::BatchTally;
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
    void SetUp() override { qdsfake_reset(); }
    // Runs the batch over the file at path; returns what it did.
    BatchTally runFile(const std::string& path, tarrow::BatchObserver* observer = nullptr,
                       const std::atomic<bool>* stop = nullptr) {
        return tarrow::BatchRun({.reader = reader,
                                 .user = user,
                                 .log = memDebug,
                                 .edtUser = edtUser,
                                 .edtPasswd = edtPasswd,
                                 .edtTree = edtTree,
                                 .edtContext = edtContext,
                                 .edtServer = edtServer,
                                 .clock = clock})
            .run(path, observer, stop);
    }
    // Runs the batch over a users file of that content; returns the log.
    const Lines& run(const std::string& content) {
        tally = runFile(temp.writeFile("users.dat", content));
        return memDebug.lines;
    }

    tarrow::TempFolder temp;
    tarrow::UsersFileReader reader;
    DSUser user;
    tarrow::FakeLogPane memDebug;
    tarrow::FakeEditBox edtUser, edtPasswd, edtTree, edtContext, edtServer;
    tarrow::VirtualScheduler scheduler;
    tarrow::FakeMonotonicClock clock{scheduler};
    BatchTally tally;
};

}  // namespace

TEST_F(BatchRun, EmptyFileWritesOnlyTheReport) {
    EXPECT_EQ(run(""), report("00:00:00:00", 0, 0));
    EXPECT_TRUE(tally.fileRead);
    EXPECT_EQ(tally.performed, 0);
    EXPECT_FALSE(reader.isOpen());
}

TEST_F(BatchRun, OutcomesInFileOrderWithCounts) {
    // Line 2 returns a negative code: its user record names no vendor while it runs.
    edtUser.onSetText = [&](const std::string& name) {
        if (name == "alice") user.vendor = 2;
        if (name == "bob") user.vendor = 1;
    };
    qdsfake_fail_user("carol", -669);
    const Lines& log = run(line("alice") + "\n" + line("bob") + "\n" + line("carol") + "\n");
    Lines expected{"alice Successful Login!", "bob Operation failed.  Error code: -10000",
                   "***DSUser DSERROR: QVDSLogin returned -669"};
    for (const auto& l : report("00:00:00:00", 3, 1)) expected.push_back(l);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(tally.performed, 3);
    EXPECT_EQ(tally.successful, 1);
    EXPECT_EQ(tally.directoryErrors, 1);
    // The edit boxes show the last user whose operation returned.
    EXPECT_EQ(edtUser.text(), "bob");
    EXPECT_EQ(edtPasswd.text(), "pw");
    EXPECT_EQ(edtTree.text(), "127.0.0.1");
    EXPECT_EQ(edtContext.text(), "Users.Vantric");
    EXPECT_EQ(edtServer.text(), "srv");
    EXPECT_EQ(user.userName, "carol");
}

TEST_F(BatchRun, LogsTheParsedUserNameAndTheElapsedTime) {
    clock.stepPerReadingUs = 65'250'000;
    const Lines& log = run(",,dave;pw 127.0.0.1,Users.Vantric,srv,300\n");
    EXPECT_EQ(log[0], "dave Successful Login!");
    EXPECT_EQ(log[1], "It took: 00:01:05:250 to execute the client workload.");
}

TEST_F(BatchRun, CarriageReturnsAreDroppedAndEmptyLinesSkipped) {
    const Lines& log = run("\r\n" + line("a") + "\r\n\n\r\r\r\n" + line("b") + "\r\n\r");
    EXPECT_EQ(log[0], "a Successful Login!");
    EXPECT_EQ(log[1], "b Successful Login!");
    EXPECT_EQ(log[4], "  There were 2 operations performed.");
    EXPECT_EQ(user.server, "srv");  // no carriage return left in the last field
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
    EXPECT_EQ(tally.longLines, 1);
}

TEST_F(BatchRun, RejectedLineIsLoggedNotCountedAndTheRunGoesOn) {
    const Lines& log = run(line("a") + "\nonly,three,fields\n" + line("b") + "\n");
    Lines expected{"a Successful Login!", "***DSUser DSERROR: setUserInfo() - Insufficient data",
                   "b Successful Login!"};
    for (const auto& l : report("00:00:00:00", 2, 2)) expected.push_back(l);
    EXPECT_EQ(log, expected);
    EXPECT_EQ(tally.rejectedLines, 1);
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
    const std::string missing = (temp.path() / "missing.dat").string();
    EXPECT_FALSE(runFile(missing).fileRead);
    EXPECT_EQ(memDebug.lines,
              Lines{"***ERROR: Cannot open users file \"" + missing + "\": No such file or directory"});

    memDebug.clear();
    EXPECT_FALSE(runFile(temp.path().string()).fileRead);  // a folder
    EXPECT_EQ(memDebug.lines,
              Lines{"***ERROR: Cannot open users file \"" + temp.path().string() + "\": Is a directory"});
}

TEST_F(BatchRun, OtherErrorsEndTheRunButTheFileIsClosedForTheNextRun) {
    edtUser.onSetText = [](const std::string&) { throw std::runtime_error("display gone"); };
    const std::string path = temp.writeFile("users.dat", line("a") + "\n" + line("b") + "\n");
    EXPECT_THROW(runFile(path), std::runtime_error);
    EXPECT_FALSE(reader.isOpen());
    edtUser.onSetText = nullptr;
    memDebug.clear();
    EXPECT_TRUE(runFile(path).fileRead);
    EXPECT_EQ(memDebug.lines[1], "b Successful Login!");
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
        logins.push_back(
            {std::string(l.user), l.outcome, l.code, std::string(l.message), l.endUs - l.startUs, l.phases});
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
    const std::string path = temp.writeFile(
        "users.dat", line("alice") + "\nshort,line\n" + line("bob") + "\n" + line("carol") + "\n");
    qdsfake_fail_user("bob", -203);
    qdsfake_set_login_delay_us(777);
    qdsfake_set_phase_us(QV_PHASE_VERIFY, 5);
    clock.stepPerReadingUs = 1000;  // each reading of the clock moves it 1 ms on
    RecordingObserver seen;
    tally = runFile(path, &seen);
    ASSERT_EQ(seen.logins.size(), 3u);
    EXPECT_EQ(seen.rejected, 1);
    EXPECT_TRUE(seen.ended);
    EXPECT_FALSE(seen.interrupted);
    EXPECT_EQ(seen.endUs - seen.startUs, 7000);  // start, two readings around each login, end
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
    EXPECT_EQ(memDebug.lines,
              (Lines{"alice Successful Login!", "***DSUser DSERROR: setUserInfo() - Insufficient data",
                     "***DSUser DSERROR: QVDSLogin returned -203", "carol Successful Login!",
                     "It took: 00:00:00:07 to execute the client workload.", "",
                     "  There were 3 operations performed.", "  Successful operations: 2"}));
    EXPECT_EQ(tally.performed, 3);
    EXPECT_TRUE(tally.fileRead);
}

TEST_F(BatchRun, AskedToStopItEndsBeforeTheNextLineWithoutItsReportLines) {
    const std::string path = temp.writeFile("users.dat",
                                            line("a") + "\n" + line("b") + "\n" + line("c") + "\n");
    RecordingObserver seen;
    seen.stopAfter = 2;
    tally = runFile(path, &seen, &seen.stop);
    EXPECT_EQ(seen.logins.size(), 2u);
    EXPECT_TRUE(seen.interrupted);
    EXPECT_TRUE(tally.interrupted);
    EXPECT_FALSE(tally.fileRead);
    EXPECT_EQ(tally.performed, 2);
    EXPECT_EQ(memDebug.lines, (Lines{"a Successful Login!", "b Successful Login!"}));
    EXPECT_FALSE(reader.isOpen());
}
