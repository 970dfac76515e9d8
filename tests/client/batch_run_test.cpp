#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "client/ui/batch_run.h"
#include "qds/fake/qdsfake.h"
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
    BatchTally runFile(const std::string& path) {
        return tarrow::BatchRun({.reader = reader,
                                 .user = user,
                                 .log = memDebug,
                                 .edtUser = edtUser,
                                 .edtPasswd = edtPasswd,
                                 .edtTree = edtTree,
                                 .edtContext = edtContext,
                                 .edtServer = edtServer,
                                 .clock = clock})
            .run(path);
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
    EXPECT_EQ(memDebug.lines, Lines{"***ERROR: Cannot open users file \"" + missing + "\": No such file or directory"});

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
