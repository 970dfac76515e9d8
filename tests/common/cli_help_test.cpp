// The help layout and the argument rule that the command lines of TarrowCli and TarrowCtrl share.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/cli_help.h"

namespace {

TEST(HelpLayout, EachGroupHasItsColumnAndLongerDescriptionsContinueThere) {
    CLI::App app;
    app.description("Usage: x [options]\n\n");
    app.footer("\nfooter\n");
    app.formatter(std::make_shared<tarrow::HelpLayout>(
        std::vector<tarrow::HelpLayout::Group>{{"Options", 12, ""}, {"More", 8, "\nMore:\n"}}));
    std::string file;
    bool flag = false;
    app.add_option("--in", file, "first line\nsecond line")->option_text("F");
    app.add_flag("--go", flag, "go")->group("More");
    app.set_help_flag("--help,-h", "this text");
    EXPECT_EQ(app.help(),
              "Usage: x [options]\n\n"
              "  --in F    first line\n"
              "            second line\n"
              "  --help    this text\n"
              "\nMore:\n"
              "  --go  go\n"
              "\nfooter\n");
}

TEST(HelpLayout, ALabelThatReachesTheColumnKeepsTwoSpacesBeforeItsDescription) {
    CLI::App app;
    app.formatter(
        std::make_shared<tarrow::HelpLayout>(std::vector<tarrow::HelpLayout::Group>{{"Options", 10, ""}}));
    std::string value;
    app.add_option("--long-name", value, "text\nmore")->option_text("N");
    app.add_option("--exact", value, "fits")->option_text("N");
    bool flag = false;
    app.add_flag("--ninth", flag, "one short of the column");
    app.set_help_flag("--help", "this text");
    EXPECT_EQ(app.help(),
              "  --long-name N  text\n"
              "          more\n"
              "  --exact N  fits\n"
              "  --ninth  one short of the column\n"
              "  --help  this text\n");
}

TEST(Cli11Arguments, LastFirstAndAnEmptyInlineValueStaysAValue) {
    EXPECT_EQ(tarrow::cli11Arguments({"--a", "1", "--b=", "--c=x", "--", "--="}),
              (std::vector<std::string>{"--=", "--", "--c=x", "", "--b", "1", "--a"}));
}

}  // namespace
