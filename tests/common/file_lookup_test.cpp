#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/file_lookup.h"
#include "tests/support/temp_folder.h"

using tarrow::fileAnyCase;
using tarrow::findFileAnyCase;

TEST(FileLookup, TheExactNameWinsThenAnyLetterCaseThenNothing) {
    tarrow::TempFolder temp;
    const std::string wanted = (temp.path() / "Tarrow.INI").string();
    EXPECT_EQ(findFileAnyCase(wanted), std::nullopt);
    EXPECT_EQ(fileAnyCase(wanted), wanted);

    const std::string lowerCase = temp.writeFile("tarrow.ini", "");
    EXPECT_EQ(findFileAnyCase(wanted), lowerCase);
    temp.writeFile("Tarrow.INI", "");
    EXPECT_EQ(findFileAnyCase(wanted), wanted);
}

TEST(FileLookup, AFolderOfThatNameIsNoMatch) {
    tarrow::TempFolder temp;
    std::filesystem::create_directory(temp.path() / "tarrowctrl.ini");
    EXPECT_EQ(findFileAnyCase((temp.path() / "TarrowCtrl.ini").string()), std::nullopt);
}

TEST(FileLookup, AMissingFolderIsNoMatch) {
    EXPECT_EQ(findFileAnyCase("/nonexistent/folder/Tarrow.INI"), std::nullopt);
    EXPECT_EQ(fileAnyCase("/nonexistent/folder/Tarrow.INI"), "/nonexistent/folder/Tarrow.INI");
}
