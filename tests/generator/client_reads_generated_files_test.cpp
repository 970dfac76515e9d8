// The client's own readers accept what the generator writes.
#include <gtest/gtest.h>

#include "client/app/client_settings.h"
#include "common/ini_file.h"
#include "common/credential_line.h"
#include "generator/logic/random_source.h"
#include "generator/logic/workload_writer.h"
#include "generator/posix/posix_file_system.h"
#include "tests/generator/temp_folder.h"

namespace tarrowmgr {
namespace {

class ClientReadsGeneratedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        inputs.workingDir = temp.path();
        inputs.numUsers = "3";
        const auto failure = writeWorkloadFiles(inputs, random, files);
        ASSERT_FALSE(failure.has_value()) << failure->text;
    }

    testing::TempFolder temp;
    GeneratorInputs inputs = defaultInputs("/unused");
    RandomSource random;
    PosixFileSystem files;
};

TEST_F(ClientReadsGeneratedFiles, SettingsComeFromTheGeneratedClientIni) {
    const tarrow::ClientSettings settings = tarrow::readClientSettings(temp.path() + "Tarrow.ini");
    EXPECT_EQ(settings.localBroadcast, "127.255.255.255");
    EXPECT_EQ(settings.workloadUsersFile, "");
    EXPECT_EQ(settings.maxDelay, 90);
    EXPECT_TRUE(settings.batchWorkloads);
    EXPECT_EQ(settings.numWorkloads, 0);  // written as NumberOfWorkloads, which the client skips

    const std::vector<std::string> asUser = tarrow::splitCredentialLine(settings.performWorkloadAsUser);
    EXPECT_EQ(asUser, (std::vector<std::string>{"ElmfordTestUser", "kemp", "127.0.0.1",
                                                "Users.Engineering.Elmford.Vantric", "NotUsed"}));
}

TEST_F(ClientReadsGeneratedFiles, ProgramPathRuleFindsTheGeneratedIniWhateverItsCase) {
    EXPECT_EQ(tarrow::clientIniPath(temp.path() + "Tarrow"), temp.path() + "Tarrow.ini");
    const tarrow::IniFile ini = tarrow::IniFile::load(temp.path() + "TarrowCtrl.ini");
    EXPECT_EQ(ini.readString("General", "UserFile", "?"), "Users.csv");
}

TEST_F(ClientReadsGeneratedFiles, UsersFileLinesSplitIntoTheFiveCredentialFields) {
    const std::string users = testing::readFile(temp.path() + "Users.csv");
    const std::string first = users.substr(0, users.find("\r\n"));
    EXPECT_EQ(tarrow::splitCredentialLine(first),
              (std::vector<std::string>{"ElmfordTestUser1", "kemp", "127.0.0.1",
                                        "Users.Engineering.Elmford.Vantric", "NotUsed"}));
}

}  // namespace
}  // namespace tarrowmgr
