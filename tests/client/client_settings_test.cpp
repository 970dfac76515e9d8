#include <gtest/gtest.h>

#include <string>

#include "client/app/client_settings.h"
#include "tests/support/temp_folder.h"

TEST(ClientSettings, MissingFileGivesEveryDefault) {
    const tarrow::ClientSettings s = tarrow::readClientSettings("/nonexistent/folder/Tarrow.INI");
    EXPECT_EQ(s.localBroadcast, "127.255.255.255");
    EXPECT_EQ(s.workloadUsersFile, "users.dat");
    EXPECT_EQ(s.performWorkloadAsUser, "admin,73519,Performance,Test,Server");
    EXPECT_EQ(s.numWorkloads, 0);
    EXPECT_FALSE(s.batchWorkloads);
    EXPECT_EQ(s.maxDelay, 120);
}

TEST(ClientSettings, ReadsEveryKeyOfAGeneratedFile) {
    tarrow::TempFolder temp;
    const std::string path = temp.writeFile(
        "Tarrow.INI",
        "[General]\r\nLocal Broadcast=127.0.0.255\r\nWorkloadUsersFile=/data/u.txt\r\n"
        "PerformWorkloadAsUser=a,b,c,d,e\r\nNumWorkloads=12\r\nBatchWorkloads=1\r\nMaxDelay=0x1E\r\n");
    const tarrow::ClientSettings s = tarrow::readClientSettings(path);
    EXPECT_EQ(s.localBroadcast, "127.0.0.255");
    EXPECT_EQ(s.workloadUsersFile, "/data/u.txt");
    EXPECT_EQ(s.performWorkloadAsUser, "a,b,c,d,e");
    EXPECT_EQ(s.numWorkloads, 12);
    EXPECT_TRUE(s.batchWorkloads);
    EXPECT_EQ(s.maxDelay, 30);
}

TEST(ClientIniPath, ReplacesOrAppendsTheExtension) {
    EXPECT_EQ(tarrow::clientIniPath("/nonexistent/bin/Tarrow.exe"), "/nonexistent/bin/Tarrow.INI");
    EXPECT_EQ(tarrow::clientIniPath("/nonexistent/bin/Tarrow"), "/nonexistent/bin/Tarrow.INI");
    EXPECT_EQ(tarrow::clientIniPath("/nonexistent/v1.2/Tarrow"), "/nonexistent/v1.2/Tarrow.INI");
}

TEST(ClientIniPath, PrefersTheExactNameThenAnyLetterCase) {
    tarrow::TempFolder temp;
    const std::string program = (temp.path() / "Tarrow").string();
    const std::string lowerIni = temp.writeFile("Tarrow.ini", "[General]\n");
    EXPECT_EQ(tarrow::clientIniPath(program), lowerIni);
    const std::string exactIni = temp.writeFile("Tarrow.INI", "[General]\n");
    EXPECT_EQ(tarrow::clientIniPath(program), exactIni);
}
