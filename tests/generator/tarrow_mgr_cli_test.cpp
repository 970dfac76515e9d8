// The headless generator: its options, and the built program run on a private folder.
#include "generator/cli/cli_options.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/generator/temp_folder.h"

namespace tarrowmgr {
namespace {

using testing::readFile;
using testing::TempFolder;

TEST(CliOptions, EveryInputOfTheWindowHasAnOptionAndTheRestKeepTheDefaults) {
    const CliCommand command = parseCliOptions(
        {"--user-name", "Load", "--password=", "--tree", "127.0.0.2", "--context", "o=X", "--server-name",
         "S", "--timeout", "9", "--random", "--num-users", "3 word", "--working-dir=/w/", "--csv-file",
         "u.csv", "--broadcast", "127.0.0.255"},
        defaultInputs("/home/op"));
    ASSERT_EQ(command.kind, CliCommand::Kind::Write) << command.error;
    const GeneratorInputs& in = command.inputs;
    EXPECT_EQ(in.userName, "Load");
    EXPECT_EQ(in.password, "");
    EXPECT_EQ(in.tree, "127.0.0.2");
    EXPECT_EQ(in.context, "o=X");
    EXPECT_EQ(in.serverName, "S");
    EXPECT_EQ(in.timeout, "9");
    EXPECT_TRUE(in.random);
    EXPECT_EQ(in.numUsers, "3 word");
    EXPECT_EQ(in.workingDir, "/w/");
    EXPECT_EQ(in.csvFile, "u.csv");
    EXPECT_EQ(in.broadcast, "127.0.0.255");

    const CliCommand none = parseCliOptions({}, defaultInputs("/home/op"));
    EXPECT_EQ(none.inputs.workingDir, "/home/op/TarrowMgr/");
    EXPECT_FALSE(none.inputs.random);
    EXPECT_EQ(none.inputs.broadcast, "127.255.255.255");
}

TEST(CliOptions, UnknownOptionsAndMissingValuesAreErrors) {
    EXPECT_EQ(parseCliOptions({"--colour", "red"}, {}).kind, CliCommand::Kind::Error);
    const CliCommand missing = parseCliOptions({"--tree"}, {});
    EXPECT_EQ(missing.kind, CliCommand::Kind::Error);
    EXPECT_NE(missing.error.find("--tree"), std::string::npos);
    EXPECT_EQ(parseCliOptions({"--tree", "x", "--help"}, {}).kind, CliCommand::Kind::Help);
}

struct CliRun {
    int status;
    std::string output;  // standard output and standard error together
};

CliRun runCli(const std::string& arguments) {
    const std::string command = std::string(TARROWMGR_CLI_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    CliRun run{-1, {}};
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(CliProgram, WritesTheThreeFilesIntoTheWorkingFolder) {
    TempFolder temp;
    const CliRun run = runCli("--working-dir " + temp.path() + "out/ --num-users 2 --random");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    const std::string users = readFile(temp.path() + "out/Users.csv");
    EXPECT_NE(users.find("\r\nElmfordTestUser2,kemp,127.0.0.1,"), std::string::npos) << users;
    EXPECT_EQ(std::count(users.begin(), users.end(), '\n'), 2);
    EXPECT_EQ(readFile(temp.path() + "out/TarrowCtrl.ini"),
              "[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=Users.csv\r\n");
    EXPECT_EQ(readFile(temp.path() + "out/Tarrow.ini").substr(0, 11), "[General]\r\n");

    // A fresh start draws the same random time-outs again.
    const CliRun again = runCli("--working-dir " + temp.path() + "out/ --num-users 2 --random");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(readFile(temp.path() + "out/Users.csv"), users);
}

TEST(CliProgram, FailuresGoToStandardErrorWithANonZeroStatus) {
    TempFolder temp;
    const CliRun missing = runCli("--working-dir " + temp.path() + "no/such/");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "No such file or directory\n");
    EXPECT_TRUE(std::filesystem::is_empty(temp.path()));

    const CliRun range = runCli("--working-dir " + temp.path() + " --num-users 1e12");
    EXPECT_EQ(range.status, 1);
    EXPECT_NE(range.output.find("out of range"), std::string::npos);

    const CliRun usage = runCli("--bogus");
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.output.find("unknown option: --bogus"), std::string::npos);

    const CliRun version = runCli("--version");
    EXPECT_EQ(version.output, "TarrowMgr 1.00\nTarrowMgr is a tool to create csv files.\n");

    const CliRun help = runCli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--num-users"), std::string::npos);
}

// A full disk names the file whose write failed; the steps after it are skipped as ever.
TEST(CliProgram, AFullDiskNamesTheFileThatCouldNotBeWritten) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    TempFolder temp;
    const std::string dir = temp.path() + "out/";
    const CliRun users = runCli("--working-dir " + dir + " --num-users 2 --csv-file /dev/full");
    EXPECT_EQ(users.status, 1);
    EXPECT_EQ(users.output, "TarrowMgrCli: error: writing /dev/full failed: No space left on device\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "TarrowCtrl.ini"));

    // The controller's INI file on the full disk: the users file before it is whole.
    std::filesystem::remove(dir + "Users.csv");
    std::filesystem::create_symlink("/dev/full", dir + "TarrowCtrl.ini");
    const CliRun ini = runCli("--working-dir " + dir + " --num-users 2");
    EXPECT_EQ(ini.status, 1);
    EXPECT_EQ(ini.output,
              "TarrowMgrCli: error: writing " + dir + "TarrowCtrl.ini failed: No space left on device\n");
    const std::string written = readFile(dir + "Users.csv");
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);
    EXPECT_FALSE(std::filesystem::exists(dir + "Tarrow.ini"));
}

}  // namespace
}  // namespace tarrowmgr
