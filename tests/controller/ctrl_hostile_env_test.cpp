// TarrowCtrl where the environment works against it: standard output on a full disk, a CSV
// file that cannot be written, a users file that is no file, too few descriptors. Each run is
// bounded by timeout(1), so that a hang fails the test instead of stalling the suite.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

struct CtrlRun {
    int status = -1;  // exit status; 124 when timeout(1) had to stop it
    std::string err;  // standard error
};

class CtrlHostileEnvTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("ctrl-hostile-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        writeIni("users.csv");
        std::ofstream(dir / "users.csv") << "u1,pw,127.0.0.1,Users.Vantric,S1,1\r\n";
    }
    void TearDown() override { fs::remove_all(dir); }
    void writeIni(const std::string& userFile) {
        std::ofstream(dir / "TarrowCtrl.ini") << "[General]\r\nUserFile=" << userFile << "\r\n";
    }
    // Runs TarrowCtrl with ports chosen by the system, through sh so that a test can redirect
    // its output or lower its limits (prefix), for at most 20 s.
    CtrlRun run(const std::string& options, const std::string& prefix = "", const std::string& redirect = "") {
        const std::string errPath = (dir / "stderr.txt").string();
        const std::string command = prefix + " timeout 20 '" TARROW_CTRL_PATH "' --ini '" +
                                    (dir / "TarrowCtrl.ini").string() +
                                    "' --control-port 0 --discovery-port 0 --answer-port 45991"
                                    " --no-timings --quiet " +
                                    options + " " + redirect + " 2>'" + errPath + "'";
        const int raw = std::system(("sh -c \"" + command + "\"").c_str());
        CtrlRun r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        std::ifstream in(errPath);
        r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return r;
    }
    fs::path dir;
};

TEST_F(CtrlHostileEnvTest, SummaryThatStandardOutputCannotTakeIsAnError) {
    const CtrlRun r = run("--duration 1", "", ">/dev/full");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("TarrowCtrl: error: writing the summary to standard output failed: "
                         "No space left on device\n"),
              std::string::npos)
        << r.err;
}

TEST_F(CtrlHostileEnvTest, CsvFileOnAFullDiskIsReportedWhenItFailsAndAtTheEnd) {
    const CtrlRun r = run("--duration 2 --csv /dev/full", "", ">/dev/null");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("TarrowCtrl: error: writing CSV file \"/dev/full\" failed after 0 rows: "
                         "No space left on device; the run goes on without it\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("TarrowCtrl: writing CSV file \"/dev/full\" failed: No space left on device\n"),
              std::string::npos)
        << r.err;
}

// A FIFO without a writer used to block start-up for ever; a device never ends.
TEST_F(CtrlHostileEnvTest, UsersFileThatIsNoRegularFileIsAConfigurationError) {
    const std::string fifo = (dir / "users.fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& name : {fifo, std::string("/dev/zero")}) {
        writeIni(name);
        const CtrlRun r = run("--duration 1", "", ">/dev/null");
        EXPECT_EQ(r.status, 2) << name << ": " << r.err;
        EXPECT_NE(r.err.find("cannot read users file \"" + name + "\": not a regular file"), std::string::npos)
            << r.err;
    }
}

// A file of bad lines must not flood the start-up: the first hundred are listed, the rest counted.
TEST_F(CtrlHostileEnvTest, SkippedLinesBeyondTheFirstHundredAreCounted) {
    std::ofstream users(dir / "users.csv", std::ios::trunc);
    for (int i = 0; i < 102; ++i) users << "short,line\r\n";
    users << "u1,pw,127.0.0.1,Users.Vantric,S1,1\r\n";
    users.close();
    const CtrlRun r = run("--duration 1", "", ">/dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string prefix = "TarrowCtrl: " + (dir / "users.csv").string() + ": ";
    EXPECT_NE(r.err.find(prefix + "line 1: fewer than five fields, skipped\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(prefix + "line 100: fewer than five fields, skipped\n" + prefix +
                         "... and 2 more lines skipped\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("line 101"), std::string::npos) << r.err;
}

// A million generated users (82 MB) load under a 400 MB address-space limit, and under 250 MB
// too, where a string pair per line ran out (it needed over 300 MB; the store under 180 MB).
// Not under the sanitizers, whose shadow memory alone takes more address space than that, and
// not in a debug build, which is not what runs.
TEST_F(CtrlHostileEnvTest, AMillionUsersLoadUnderA400MegabyteAddressSpaceLimit) {
#if defined(__SANITIZE_ADDRESS__) || !defined(NDEBUG)
    GTEST_SKIP() << "the address-space limit is checked in the release build only";
#endif
    {
        std::ofstream users(dir / "users.csv", std::ios::binary | std::ios::trunc);
        std::string block;
        for (int k = 1; k <= 1'000'000; ++k) {
            block += "ElmfordTestUser" + std::to_string(k) +
                     ",kemp,127.0.0.1,Users.Engineering.Elmford.Vantric,NotUsed,1\r\n";
            if (block.size() > (1 << 20)) users << block, block.clear();
        }
        users << block;
        ASSERT_TRUE(users.good());
    }
    for (const char* kilobytes : {"390625", "244140"}) {
        const CtrlRun r = run("--duration 1", std::string("ulimit -v ") + kilobytes + ";", ">/dev/null");
        EXPECT_EQ(r.status, 0) << kilobytes << " kB: " << r.err;
        EXPECT_NE(r.err.find("TarrowCtrl: 1000000 credentials from "), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("out of memory"), std::string::npos) << r.err;
    }
}

// With 64 descriptors, 4096 clients cannot be served: the limit is fitted and said at start.
TEST_F(CtrlHostileEnvTest, MaxClientsIsFittedToTheDescriptorLimit) {
    const CtrlRun r = run("--duration 1 --max-clients 4096", "ulimit -n 64;", ">/dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("TarrowCtrl: the descriptor limit (64) allows 32 clients; --max-clients 4096 "
                         "lowered to 32\n"),
              std::string::npos)
        << r.err;
}

}  // namespace
