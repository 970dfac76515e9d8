// The window's actions over a scripted form and an in-memory file system that can fail.
#include "generator/logic/tarrow_mgr_actions.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "generator/logic/workload_writer.h"

namespace tarrowmgr {
namespace {

struct FakeForm : GeneratorForm {
    GeneratorInputs values = defaultInputs("/home/op/");
    std::vector<std::pair<std::string, std::string>> messages;  // text, caption
    std::string browseAnswer;
    std::vector<std::pair<std::string, std::string>> browses;  // title, start folder
    std::vector<std::string> opened;

    GeneratorInputs inputs() const override { return values; }
    void setWorkingDirText(const std::string& text) override { values.workingDir = text; }
    void showMessage(const std::string& text, const std::string& caption) override {
        messages.emplace_back(text, caption);
    }
    std::string browseForDirectory(const std::string& title, const std::string& start) override {
        browses.emplace_back(title, start);
        return browseAnswer;
    }
    void openDocument(const std::string& address) override { opened.push_back(address); }
};

// Files live in a map; every operation is logged; one failure can be planted.
struct MemoryFileSystem : FileSystem {
    std::map<std::string, std::string> contents;
    std::vector<std::string> log;
    std::optional<std::string> failCreate;  // file name whose creation fails
    std::optional<std::string> failClose;   // file name whose close (the last flush) fails
    std::optional<std::size_t> failAtLine;  // the n-th line written overall fails (1-based)
    std::size_t linesWritten = 0;

    struct File : TextFile {
        MemoryFileSystem& fs;
        std::string name;
        bool open = true;
        File(MemoryFileSystem& owner, std::string path) : fs(owner), name(std::move(path)) {}
        void writeLine(std::string_view line) override {
            if (fs.failAtLine && ++fs.linesWritten == *fs.failAtLine)
                throw FileError("No space left on device");
            fs.contents[name] += std::string(line) + "\r\n";
        }
        void close() override {
            if (!open) return;
            fs.log.push_back("close " + name);
            open = false;
            if (fs.failClose == name) throw FileError("Input/output error");
        }
    };

    bool folderExists(const std::string& path) override {
        log.push_back("exists " + path);
        return false;
    }
    void createFolder(const std::string& path) override { log.push_back("mkdir " + path); }
    void changeDirectory(const std::string& path) override { log.push_back("chdir " + path); }
    std::unique_ptr<TextFile> createTextFile(const std::string& path) override {
        log.push_back("create " + path);
        if (failCreate == path) throw FileError("Permission denied");
        contents[path].clear();
        return std::make_unique<File>(*this, path);
    }
};

class Actions : public ::testing::Test {
protected:
    FakeForm form;
    MemoryFileSystem files;
    TarrowMgrActions actions{form, files, "file:///opt/tarrow/README.md"};
};

TEST_F(Actions, WriteCreatesTheFolderThenWritesTheThreeFilesOneAfterAnotherSilently) {
    actions.WriteCSV_Click();
    const std::vector<std::string> expected = {
        "exists /home/op/TarrowMgr/", "mkdir /home/op/TarrowMgr/", "chdir /home/op/TarrowMgr/",
        "create Users.csv",           "close Users.csv",           "create TarrowCtrl.ini",
        "close TarrowCtrl.ini",       "create Tarrow.ini",         "close Tarrow.ini"};
    EXPECT_EQ(files.log, expected);
    EXPECT_TRUE(form.messages.empty());
}

TEST_F(Actions, AFailedLineKeepsTheLinesBeforeItAndSkipsTheRest) {
    files.failAtLine = 4;
    actions.WriteCSV_Click();
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].first, "No space left on device");
    EXPECT_EQ(form.messages[0].second, "TarrowMgr");
    EXPECT_EQ(std::count(files.contents["Users.csv"].begin(), files.contents["Users.csv"].end(), '\n'), 3);
    EXPECT_EQ(files.log.back(), "close Users.csv");
    EXPECT_EQ(files.contents.count("TarrowCtrl.ini"), 0u);
}

TEST_F(Actions, AFailureInTheLastFileKeepsTheFilesFinishedBefore) {
    files.failCreate = "Tarrow.ini";
    actions.WriteCSV_Click();
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0], std::make_pair(std::string("Permission denied"), std::string("TarrowMgr")));
    EXPECT_EQ(files.contents["TarrowCtrl.ini"],
              "[General]\r\nLocal Broadcast=127.255.255.255\r\nUserFile=Users.csv\r\n");
    EXPECT_EQ(files.contents["Users.csv"].size(), 10 * 77u + 1);  // user 10 has two digits
}

// The command line names the file that failed; the window keeps showing the platform's text
// alone, and the calls on the files are those of any failure.
TEST_F(Actions, AFailureNamesItsFileInTheWorkingFolderWhileTheWindowShowsTheReasonAlone) {
    RandomSource random;
    files.failAtLine = 4;
    auto failure = writeWorkloadFiles(form.values, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->text, "No space left on device");
    EXPECT_EQ(failure->path, "/home/op/TarrowMgr/Users.csv");

    files = MemoryFileSystem();
    files.failClose = "TarrowCtrl.ini";
    failure = writeWorkloadFiles(form.values, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->text, "Input/output error");
    EXPECT_EQ(failure->path, "/home/op/TarrowMgr/TarrowCtrl.ini");
    EXPECT_EQ(files.log.back(), "close TarrowCtrl.ini") << "closed once, and Tarrow.ini never begun";

    files = MemoryFileSystem();
    form.values.csvFile = "/data/u.csv";
    files.failCreate = "/data/u.csv";
    failure = writeWorkloadFiles(form.values, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->path, "/data/u.csv") << "an absolute name is kept as typed";

    files = MemoryFileSystem();
    form.values.csvFile = "Users.csv";
    form.values.workingDir = "work";
    files.failCreate = "Tarrow.ini";
    actions.WriteCSV_Click();
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_EQ(form.messages[0].first, "Permission denied");
    failure = writeWorkloadFiles(form.values, random, files);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->path, "work/Tarrow.ini");
}

TEST_F(Actions, OutOfRangeCountIsShownAndTouchesNoFile) {
    form.values.numUsers = "-2147483649";
    actions.WriteCSV_Click();
    ASSERT_EQ(form.messages.size(), 1u);
    EXPECT_NE(form.messages[0].first.find("out of range"), std::string::npos);
    EXPECT_EQ(form.messages[0].second, "TarrowMgr");
    EXPECT_TRUE(files.log.empty());
}

TEST_F(Actions, LaterPressesContinueTheRandomSequence) {
    form.values.random = true;
    form.values.numUsers = "1";
    actions.WriteCSV_Click();
    const std::string first = files.contents["Users.csv"];
    actions.WriteCSV_Click();
    const std::string second = files.contents["Users.csv"];

    RandomSource reference;
    const int r1 = reference.nextTimeout();
    const int r2 = reference.nextTimeout();
    EXPECT_TRUE(first.ends_with("," + std::to_string(r1) + "\r\n")) << first;
    EXPECT_TRUE(second.ends_with("," + std::to_string(r2) + "\r\n")) << second;
}

TEST_F(Actions, BrowseStartsAtTheWorkingFolderAndACancelKeepsItsText) {
    form.values.workingDir = "/srv/load/";
    actions.BrowseWPath_Click();
    ASSERT_EQ(form.browses.size(), 1u);
    EXPECT_EQ(form.browses[0].first, "Select A Directory to write working files to.");
    EXPECT_EQ(form.browses[0].second, "/srv/load/");
    EXPECT_EQ(form.values.workingDir, "/srv/load/");

    form.browseAnswer = "/srv/other/";
    actions.BrowseWPath_Click();
    EXPECT_EQ(form.values.workingDir, "/srv/other/");
}

TEST_F(Actions, InformationOpensTheReadMe) {
    actions.InfoBrowse_Click();
    EXPECT_EQ(form.opened, std::vector<std::string>{"file:///opt/tarrow/README.md"});
}

}  // namespace
}  // namespace tarrowmgr
