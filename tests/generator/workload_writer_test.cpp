// The file writer over real files in a private temporary folder.
#include "generator/logic/workload_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "generator/logic/random_source.h"
#include "generator/posix/posix_file_system.h"
#include "tests/generator/temp_folder.h"

namespace tarrowmgr {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

const char* const kClientIni =
    "[General]\r\n"
    "Local Broadcast=127.255.255.255\r\n"
    "WorkloadUsersFile=\r\n"
    "PerformWorkloadAsUser=ElmfordTestUser,kemp,127.0.0.1,Users.Engineering.Elmford.Vantric,"
    "NotUsed,\r\n"
    "NumberOfWorkloads=2\r\n"
    "BatchWorkloads=1\r\n"
    "MaxDelay=90\r\n"
    "\r\n"
    "; DSFunctions are:\r\n"
    ";   1 - Login (Authenticate)\r\n"
    ";   2 - Logout\r\n"
    ";   3 - Create User\r\n"
    ";   4 - Delete User\r\n"
    "[Workload1]\r\n"
    "NumOperations=1\r\n"
    "Operation1=3\r\n"
    "\r\n"
    "[Workload2]\r\n"
    "NumOperations=1\r\n"
    "Operation1=4\r\n";

const char* const kControllerIni =
    "[General]\r\n"
    "Local Broadcast=127.255.255.255\r\n"
    "UserFile=Users.csv\r\n";

// Splits a file at CR LF; every line must end with one.
std::vector<std::string> lines(const std::string& bytes) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(bytes.substr(start, end - start));
    EXPECT_EQ(start, bytes.size()) << "the last line lacks CR LF";
    return result;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> result;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) result.push_back(field);
    return result;
}

class WorkloadWriter : public ::testing::Test {
protected:
    WorkloadWriter() { inputs.workingDir = temp.path() + "work/"; }

    void write() {
        const auto failure = writeWorkloadFiles(inputs, random, files);
        ASSERT_FALSE(failure.has_value()) << failure->text;
    }
    std::string file(const std::string& name) { return readFile(inputs.workingDir + name); }
    std::vector<std::string> users() { return lines(file("Users.csv")); }
    // Field 6 of every users-file line.
    std::vector<int> timeouts() {
        std::vector<int> result;
        for (const std::string& line : users()) result.push_back(std::stoi(fields(line).at(5)));
        return result;
    }

    TempFolder temp;
    GeneratorInputs inputs = defaultInputs(temp.path());
    RandomSource random;
    PosixFileSystem files;
};

TEST_F(WorkloadWriter, DefaultsGiveTenNumberedUsersAndBothIniFilesByteForByte) {
    write();
    const std::vector<std::string> written = users();
    ASSERT_EQ(written.size(), 10u);
    for (std::size_t k = 1; k <= 10; ++k) {
        EXPECT_EQ(written[k - 1], "ElmfordTestUser" + std::to_string(k) +
                                      ",kemp,127.0.0.1,Users.Engineering.Elmford.Vantric,"
                                      "NotUsed,1");
    }
    EXPECT_EQ(file("TarrowCtrl.ini"), kControllerIni);
    EXPECT_EQ(file("Tarrow.ini"), kClientIni);
    EXPECT_EQ(std::filesystem::current_path().string() + "/", inputs.workingDir);
}

TEST_F(WorkloadWriter, NoUsersGiveAnEmptyUsersFileAndBothIniFilesInFull) {
    for (const char* text : {"0", "-5", "none"}) {
        inputs.numUsers = text;
        write();
        EXPECT_EQ(file("Users.csv"), "") << text;
        EXPECT_EQ(file("TarrowCtrl.ini"), kControllerIni) << text;
        EXPECT_EQ(file("Tarrow.ini"), kClientIni) << text;
    }
}

TEST_F(WorkloadWriter, NumberOfUsersTextIsConvertedBeforeWriting) {
    const std::pair<const char*, std::size_t> cases[] = {{"3.5", 4}, {"2.5", 2}, {"7 word", 7}, {"1 0", 10}};
    for (const auto& [text, expected] : cases) {
        inputs.numUsers = text;
        write();
        EXPECT_EQ(users().size(), expected) << text;
    }
}

TEST_F(WorkloadWriter, RandomTimeoutsLieFromOneToSixtyAndRepeatAfterAFreshStart) {
    inputs.random = true;
    inputs.numUsers = "500";
    write();
    const std::vector<int> first = timeouts();
    ASSERT_EQ(first.size(), 500u);
    for (int value : first) {
        EXPECT_GE(value, 1);
        EXPECT_LE(value, 60);
    }
    EXPECT_NE(std::count(first.begin(), first.end(), first[0]), 500) << "not random at all";

    RandomSource freshStart;
    ASSERT_FALSE(writeWorkloadFiles(inputs, freshStart, files).has_value());
    EXPECT_EQ(timeouts(), first);
}

TEST_F(WorkloadWriter, APressWithTheBoxUncheckedStillAdvancesTheRandomSequence) {
    inputs.random = true;
    inputs.numUsers = "8";
    write();
    const std::vector<int> eight = timeouts();

    RandomSource fresh;
    inputs.random = false;
    inputs.numUsers = "3";
    ASSERT_FALSE(writeWorkloadFiles(inputs, fresh, files).has_value());
    inputs.random = true;
    inputs.numUsers = "5";
    ASSERT_FALSE(writeWorkloadFiles(inputs, fresh, files).has_value());
    EXPECT_EQ(timeouts(), std::vector<int>(eight.begin() + 3, eight.end()));
}

TEST_F(WorkloadWriter, FieldsAreWrittenAsTypedWithoutQuoting) {
    inputs.userName = "Test, User";
    inputs.password = "p\"w";
    inputs.timeout = "soon";
    inputs.broadcast = "";
    inputs.numUsers = "1";
    write();
    EXPECT_EQ(users(), std::vector<std::string>{"Test, User1,p\"w,127.0.0.1,"
                                                "Users.Engineering.Elmford.Vantric,NotUsed,soon"});
    EXPECT_EQ(fields(users()[0]).size(), 7u);
    EXPECT_EQ(lines(file("TarrowCtrl.ini"))[1], "Local Broadcast=");
    EXPECT_EQ(lines(file("Tarrow.ini"))[1], "Local Broadcast=");
    EXPECT_EQ(lines(file("Tarrow.ini"))[3],
              "PerformWorkloadAsUser=Test, User,p\"w,127.0.0.1,Users.Engineering.Elmford.Vantric,"
              "NotUsed,");
}

TEST_F(WorkloadWriter, ExistingFilesAreReplacedNotAppendedTo) {
    ASSERT_EQ(::mkdir(inputs.workingDir.c_str(), 0777), 0);
    const std::string old(100000, 'x');
    for (const char* name : {"Users.csv", "TarrowCtrl.ini", "Tarrow.ini"})
        writeFile(inputs.workingDir + name, old);
    inputs.numUsers = "2";
    write();
    EXPECT_EQ(users().size(), 2u);
    EXPECT_EQ(file("TarrowCtrl.ini"), kControllerIni);
    EXPECT_EQ(file("Tarrow.ini"), kClientIni);
}

TEST_F(WorkloadWriter, AbsoluteUsersFileNameGoesThereWhileTheIniFilesStayInTheWorkingFolder) {
    inputs.csvFile = temp.path() + "elsewhere.csv";
    inputs.numUsers = "3";
    write();
    EXPECT_EQ(lines(readFile(inputs.csvFile)).size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(inputs.workingDir + "elsewhere.csv"));
    EXPECT_EQ(lines(file("TarrowCtrl.ini"))[2], "UserFile=" + inputs.csvFile);
    EXPECT_EQ(file("Tarrow.ini"), kClientIni);
}

TEST_F(WorkloadWriter, RelativeWorkingFolderIsTakenFromTheCurrentDirectory) {
    std::filesystem::current_path(temp.path());
    inputs.workingDir = "rel";
    inputs.numUsers = "1";
    write();
    EXPECT_EQ(readFile(temp.path() + "rel/Tarrow.ini"), kClientIni);
}

TEST_F(WorkloadWriter, MissingParentOfTheWorkingFolderFailsBeforeAnyFileIsWritten) {
    inputs.workingDir = temp.path() + "missing/work/";
    const auto failure = writeWorkloadFiles(inputs, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->text, "No such file or directory");
    EXPECT_EQ(failure->path, "") << "a folder's failure names no file";
    EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

TEST_F(WorkloadWriter, UsersFileThatCannotBeCreatedLeavesTheIniFilesAlone) {
    ASSERT_EQ(::mkdir(inputs.workingDir.c_str(), 0777), 0);
    writeFile(inputs.workingDir + "Tarrow.ini", "old");
    inputs.csvFile = "no/such/folder.csv";
    const auto failure = writeWorkloadFiles(inputs, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->text, "No such file or directory");
    EXPECT_EQ(failure->path, inputs.workingDir + "no/such/folder.csv");
    EXPECT_EQ(file("Tarrow.ini"), "old");
    EXPECT_FALSE(std::filesystem::exists(inputs.workingDir + "TarrowCtrl.ini"));
}

TEST_F(WorkloadWriter, OutOfRangeNumberOfUsersIsRefusedAndNothingIsWritten) {
    inputs.numUsers = "3000000000";
    const auto failure = writeWorkloadFiles(inputs, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_NE(failure->text.find("out of range"), std::string::npos);
    EXPECT_EQ(failure->path, "");
    EXPECT_TRUE(std::filesystem::is_empty(temp.path()));
}

TEST_F(WorkloadWriter, WorkingFolderThatIsAFileIsReported) {
    writeFile(temp.path() + "plain", "");
    inputs.workingDir = temp.path() + "plain/";
    const auto failure = writeWorkloadFiles(inputs, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_FALSE(failure->text.empty());
}

}  // namespace
}  // namespace tarrowmgr
