#include <gtest/gtest.h>

#include <string>

#include "common/ini_file.h"

using tarrow::IniFile;
using tarrow::parseProfileInteger;

namespace {

std::int32_t maxDelayOf(const std::string& value) {
    return IniFile::parse("[General]\nMaxDelay=" + value + "\n").readInteger("General", "MaxDelay", 120);
}

}  // namespace

TEST(IniFile, IntegersInDecimalAndEveryHexPrefix) {
    EXPECT_EQ(maxDelayOf("0x1E"), 30);
    EXPECT_EQ(maxDelayOf("0X1e"), 30);
    EXPECT_EQ(maxDelayOf("$1E"), 30);
    EXPECT_EQ(maxDelayOf("x1E"), 30);
    EXPECT_EQ(maxDelayOf("X1E"), 30);
    EXPECT_EQ(maxDelayOf("-5"), -5);
    EXPECT_EQ(maxDelayOf("+7"), 7);
    EXPECT_EQ(maxDelayOf("  45  "), 45);
    EXPECT_EQ(maxDelayOf("\"12\""), 12);
}

TEST(IniFile, HexIsA32BitPatternWhoseSignIsIgnored) {
    EXPECT_EQ(parseProfileInteger("0xFFFFFFFF"), -1);
    EXPECT_EQ(parseProfileInteger("$80000000"), INT32_MIN);
    EXPECT_EQ(parseProfileInteger("-0x10"), 16);
    EXPECT_EQ(parseProfileInteger("0x123456789"), std::nullopt);  // nine digits
    EXPECT_EQ(parseProfileInteger("0x"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("$"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("0x1G"), std::nullopt);
}

TEST(IniFile, DecimalMustFitIn32BitsAndBeWhollyDigits) {
    EXPECT_EQ(parseProfileInteger("2147483647"), INT32_MAX);
    EXPECT_EQ(parseProfileInteger("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseProfileInteger("2147483648"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("-2147483649"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("99999999999999999999"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("0000000000042"), 42);
    EXPECT_EQ(parseProfileInteger("-"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("+-1"), std::nullopt);
    EXPECT_EQ(parseProfileInteger("1 2"), std::nullopt);
}

TEST(IniFile, UnconvertibleIntegerGivesTheDefault) {
    EXPECT_EQ(maxDelayOf("30s"), 120);
    EXPECT_EQ(maxDelayOf(""), 120);
    EXPECT_EQ(maxDelayOf("thirty"), 120);
    EXPECT_EQ(IniFile::parse("").readInteger("General", "MaxDelay", 120), 120);
}

TEST(IniFile, TruthValuesAreIntegersNonZeroTrue) {
    const auto batch = [](const std::string& v, bool dflt) {
        return IniFile::parse("[General]\nBatchWorkloads=" + v + "\n").readBool("General", "BatchWorkloads", dflt);
    };
    EXPECT_TRUE(batch("1", false));
    EXPECT_TRUE(batch("7", false));
    EXPECT_TRUE(batch("-1", false));
    EXPECT_FALSE(batch("0", true));
    EXPECT_FALSE(batch("true", false));
    EXPECT_TRUE(batch("true", true));
}

TEST(IniFile, PresentEmptyValueIsTheEmptyTextNotTheDefault) {
    const IniFile ini = IniFile::parse("[General]\nWorkloadUsersFile=\nOther =   \n");
    EXPECT_EQ(ini.readString("General", "WorkloadUsersFile", "users.dat"), "");
    EXPECT_EQ(ini.readString("General", "Other", "x"), "");
    EXPECT_EQ(ini.readString("General", "Missing", "users.dat"), "users.dat");
    EXPECT_EQ(ini.readString("Elsewhere", "WorkloadUsersFile", "users.dat"), "users.dat");
}

TEST(IniFile, NamesMatchWithoutRegardToLetterCase) {
    const IniFile ini = IniFile::parse("[general]\r\nmaxdelay=30\r\n  LOCAL BROADCAST = 127.0.0.255 \r\n");
    EXPECT_EQ(ini.readInteger("General", "MaxDelay", 120), 30);
    EXPECT_EQ(ini.readString("General", "Local Broadcast", ""), "127.0.0.255");
}

TEST(IniFile, ValueIsTextAfterFirstEqualsTrimmedAndUnquotedOnce) {
    const IniFile ini = IniFile::parse(
        "[General]\nA= a=b \nB='x y'\nC=\"\"q\"\"\nD=\"unbalanced\nE=' \nF=\t\"k\"\t\n");
    EXPECT_EQ(ini.readString("General", "A", ""), "a=b");
    EXPECT_EQ(ini.readString("General", "B", ""), "x y");
    EXPECT_EQ(ini.readString("General", "C", ""), "\"q\"");
    EXPECT_EQ(ini.readString("General", "D", ""), "\"unbalanced");
    EXPECT_EQ(ini.readString("General", "E", ""), "'");
    EXPECT_EQ(ini.readString("General", "F", ""), "k");
}

TEST(IniFile, KeysOfOtherSectionsAndTheFirstOccurrence) {
    const IniFile ini = IniFile::parse(
        "MaxDelay=1\n[Other]\nMaxDelay=2\n[General]\n; MaxDelay=3\nMaxDelay=4\nMaxDelay=5\n");
    EXPECT_EQ(ini.readInteger("General", "MaxDelay", 120), 4);
    EXPECT_EQ(ini.readInteger("Other", "MaxDelay", 120), 2);
}

TEST(IniFile, LongValueIsCutTo2047Characters) {
    const std::string longValue(3000, 'v');
    const IniFile ini = IniFile::parse("[General]\nPerformWorkloadAsUser=" + longValue + "\n");
    EXPECT_EQ(ini.readString("General", "PerformWorkloadAsUser", ""), longValue.substr(0, 2047));
}
