#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/users_file_reader.h"
#include "tests/support/temp_folder.h"

using tarrow::UsersFileReader;

namespace {

struct ReadLine {
    UsersFileReader::Read kind;
    std::string text;
    bool operator==(const ReadLine&) const = default;
};

std::vector<ReadLine> readAll(const std::string& content) {
    tarrow::TempFolder temp;
    UsersFileReader reader;
    EXPECT_TRUE(reader.open(temp.writeFile("u.dat", content)));
    std::vector<ReadLine> out;
    for (UsersFileReader::Read r; (r = reader.next()) != UsersFileReader::Read::End;) {
        out.push_back({r, reader.lineText()});
    }
    EXPECT_FALSE(reader.failed());
    return out;
}

constexpr auto kLine = UsersFileReader::Read::Line;
constexpr auto kLong = UsersFileReader::Read::LongLine;

}  // namespace

TEST(UsersFileReader, LinesSpanningBlockBoundariesAreJoined) {
    // The reader fetches 1 MiB at a time: put a line end, a carriage return and a long line
    // across block boundaries.
    constexpr std::size_t kBlock = 1 << 20;
    std::string content(kBlock - 3, 'a');
    content[100] = '\n';
    content += "\r\nbc\rd";  // "\r" at the last byte of the block
    const std::size_t firstLen = content.find('\n');
    std::vector<ReadLine> lines = readAll(content + "ef\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], (ReadLine{kLine, std::string(firstLen, 'a')}));
    EXPECT_EQ(lines[1].kind, kLong);
    EXPECT_EQ(lines[1].text, std::string(254, 'a'));
    EXPECT_EQ(lines[2], (ReadLine{kLine, "bcdef"}));
}

TEST(UsersFileReader, CarriageReturnsDoNotCountTowardsTheLimit) {
    const std::string l254(254, 'x');
    std::string withCrs;
    for (char c : l254) withCrs += std::string("\r") + c;
    EXPECT_EQ(readAll(withCrs + "\r\n"), (std::vector<ReadLine>{{kLine, l254}}));
    EXPECT_EQ(readAll(l254 + "y\n")[0].kind, kLong);
    EXPECT_EQ(readAll(l254), (std::vector<ReadLine>{{kLine, l254}}));  // at the end, no line feed
}

TEST(UsersFileReader, EndOfFileByteStopsReadingEvenMidLine) {
    EXPECT_EQ(readAll("ab\x1A"
                      "cd\nef\n"),
              (std::vector<ReadLine>{{kLine, "ab"}}));
    EXPECT_EQ(readAll("ab\n\x1A"
                      "cd\n"),
              (std::vector<ReadLine>{{kLine, "ab"}}));
    EXPECT_TRUE(readAll("\x1A").empty());
}

TEST(UsersFileReader, EmptyLinesAreLinesAndEndsAreExact) {
    EXPECT_EQ(readAll("\n\r\n"), (std::vector<ReadLine>{{kLine, ""}, {kLine, ""}}));
    EXPECT_TRUE(readAll("").empty());
    EXPECT_EQ(readAll("a\nb"), (std::vector<ReadLine>{{kLine, "a"}, {kLine, "b"}}));
}

TEST(UsersFileReader, ReopeningStartsAgainAndLineNumbersCount) {
    tarrow::TempFolder temp;
    const std::string path = temp.writeFile("u.dat", "a\nb\n");
    UsersFileReader reader;
    ASSERT_TRUE(reader.open(path));
    reader.next();
    reader.next();
    EXPECT_EQ(reader.lineNumber(), 2u);
    ASSERT_TRUE(reader.open(path));
    ASSERT_EQ(reader.next(), kLine);
    EXPECT_STREQ(reader.lineText(), "a");
    EXPECT_EQ(reader.lineNumber(), 1u);
    reader.close();
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.next(), UsersFileReader::Read::End);
}
