// The generator's window against its control table, drawn off screen.
#include "generator/qt/TarrowMgrFrm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <filesystem>

#include "generator/qt/BrowseDirectorysOnly.h"
#include "tests/generator/temp_folder.h"

namespace tarrowmgr {
namespace {

struct ControlRow {
    const char* name;
    const char* text;              // caption or default text
    int left, top, width, height;  // twips
    const char* tip;               // nullptr: none; "=" the same as the row before
};

const ControlRow kControls[] = {
    {"UnameTxt", "User Name", 120, 360, 855, 255,
     "This will be the Username as entered with a numeric value appended to the Username."},
    {"UserNameText", "ElmfordTestUser", 1560, 360, 3015, 285, "="},
    {"PwdTxt", "Password", 120, 720, 855, 255, "Password for the User entered above."},
    {"PasswordText", "kemp", 1560, 720, 3015, 285, "="},
    {"QDSTreeTxt", "QDS Tree", 120, 1080, 855, 255,
     "The IP address of a server holding a R/W replica of QDS. The Name of the QDS Tree may "
     "work."},
    {"QDSTreeText", "127.0.0.1", 1560, 1080, 3015, 285, "="},
    {"ContextTxt", "Context", 120, 1440, 855, 255, nullptr},
    {"ContextText", "Users.Engineering.Elmford.Vantric", 1560, 1440, 3015, 285, nullptr},
    {"ServerNameTxt", "Server Name", 120, 1800, 1095, 255, "The Server Name value is NOT used at this time."},
    {"ServerNameText", "NotUsed", 1560, 1800, 3015, 285, "="},
    {"TimeoutTxt", "Timeout", 120, 2160, 855, 255,
     "Timeout length in seconds before another attempt will be made."},
    {"TimeoutText", "1", 1560, 2160, 615, 285, "="},
    {"RandomCheckBox", "Random?", 3480, 2160, 1095, 255,
     "A random value between 1 and 60 will be used for the timeout length in seconds."},
    {"NumUsersTxt", "Number of Users", 120, 2520, 1695, 255,
     "Number of users to be generated for use in the CSV file."},
    {"NumUsersText", "10", 1560, 2520, 1095, 285, "="},
    {"WPathTxt", "Working Dir", 120, 2880, 1095, 255,
     "This should be the directory where the Tarrow files are to be written."},
    {"WPathText", "/home/op/TarrowMgr/", 1560, 2880, 2535, 285, "="},
    {"BrowseWPath", "...", 4200, 2880, 615, 255,
     "Browse to the directory where the Tarrow files are to be written."},
    {"CsvFileTxt", "CSV File Name", 120, 3240, 1095, 255, "The Name of the user.csv file to write to."},
    {"CsvFileText", "Users.csv", 1560, 3240, 2535, 285, "="},
    {"Label1", "Broadcast Address", 120, 3600, 1335, 255,
     "The broadcast address for the subnet you're clients are on."},
    {"BroadCastAddrText", "127.255.255.255", 1560, 3600, 3015, 285, "="},
    {"InfoBrowse", "Information", 120, 3960, 1335, 495, nullptr},
    {"WriteCSV", "Write CSV and INI Files", 1560, 3960, 2535, 495,
     "This button will write the comma \",\" delimited CSV file, the Tarrow.ini and the "
     "TarrowCtrl.ini file."},
};

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    return {};
}

// The widget the Tab key moves to: the next in the focus chain that takes focus by Tab.
QWidget* nextTabStop(QWidget* widget) {
    QWidget* next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    return next;
}

// The window with its dialogs replaced by recordings, so nothing modal opens.
struct RecordingFrm : TarrowMgrFrm {
    using TarrowMgrFrm::TarrowMgrFrm;
    std::vector<std::string> messages;
    std::vector<std::string> opened;
    void showMessage(const std::string& text, const std::string& caption) override {
        messages.push_back(caption + ": " + text);
    }
    void openDocument(const std::string& address) override { opened.push_back(address); }
};

class Window : public ::testing::Test {
protected:
    template <typename T = QWidget>
    T* control(const char* name) {
        auto* widget = form.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    RecordingFrm form{defaultInputs("/home/op/"), "file:///opt/README.md"};
};

TEST_F(Window, ControlsMatchTheTableInPlaceSizeTextAndToolTip) {
    EXPECT_EQ(form.windowTitle(), "TarrowMgr");
    EXPECT_EQ(form.size(), QSize(350, 316));
    const char* previousTip = nullptr;
    for (const ControlRow& row : kControls) {
        QWidget* widget = control(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(row.left / 15, row.top / 15, row.width / 15, row.height / 15))
            << row.name;
        EXPECT_EQ(textOf(widget), QString::fromLatin1(row.text)) << row.name;
        const char* tip = row.tip != nullptr && std::string_view(row.tip) == "=" ? previousTip : row.tip;
        EXPECT_EQ(widget->toolTip(), tip ? QString::fromLatin1(tip) : QString()) << row.name;
        previousTip = tip;
    }
    EXPECT_FALSE(control<QCheckBox>("RandomCheckBox")->isChecked());
    EXPECT_EQ(control<QLineEdit>("PasswordText")->echoMode(), QLineEdit::Normal);
}

// A caption cut off at the right edge of its control reads as another word.
TEST_F(Window, EveryCaptionFitsItsControl) {
    for (const ControlRow& row : kControls) {
        QWidget* widget = control(row.name);
        ASSERT_NE(widget, nullptr);
        if (qobject_cast<QLineEdit*>(widget) != nullptr) continue;  // typed texts scroll
        const int textWidth = widget->fontMetrics().horizontalAdvance(textOf(widget));
        int needed = textWidth;  // a label: the text alone
        if (qobject_cast<QCheckBox*>(widget) != nullptr)
            needed = widget->sizeHint().width();  // the box, its spacing and the text
        else if (qobject_cast<QPushButton*>(widget) != nullptr)
            needed = textWidth + 4;  // the text inside the button's frame
        EXPECT_LE(needed, widget->width()) << row.name;
    }
}

TEST_F(Window, OnlyTheBrowseAndWriteButtonsAreBold) {
    EXPECT_EQ(control("BrowseWPath")->font().weight(), QFont::Bold);
    EXPECT_EQ(control("WriteCSV")->font().weight(), QFont::Bold);
    EXPECT_NE(control("InfoBrowse")->font().weight(), QFont::Bold);
    EXPECT_NE(control("UserNameText")->font().weight(), QFont::Bold);
}

TEST_F(Window, FocusStartsInTheUserNameAndTabWalksTheInputsInOrder) {
    EXPECT_EQ(form.focusWidget(), control("UserNameText"));
    const char* const order[] = {"UserNameText",   "PasswordText", "QDSTreeText",    "ContextText",
                                 "ServerNameText", "TimeoutText",  "RandomCheckBox", "NumUsersText",
                                 "WPathText",      "BrowseWPath",  "CsvFileText",    "BroadCastAddrText",
                                 "WriteCSV",       "InfoBrowse",   "UserNameText"};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(nextTabStop(control(order[i])), control(order[i + 1])) << order[i];
    for (const char* label : {"UnameTxt", "PwdTxt", "Label1", "WPathTxt"})
        EXPECT_EQ(control(label)->focusPolicy(), Qt::NoFocus) << label;
}

TEST_F(Window, WriteButtonWritesWhatTheBoxesHoldAndShowsFailures) {
    testing::TempFolder temp;
    control<QLineEdit>("WPathText")->setText(QString::fromStdString(temp.path() + "out/"));
    control<QLineEdit>("NumUsersText")->setText("2");
    control<QLineEdit>("UserNameText")->setText(QString::fromLatin1("J\xF6rg"));
    control<QPushButton>("WriteCSV")->click();
    EXPECT_TRUE(form.messages.empty());
    EXPECT_EQ(testing::readFile(temp.path() + "out/Users.csv").substr(0, 7),
              "J\xF6rg"
              "1,k");

    control<QLineEdit>("WPathText")->setText(QString::fromStdString(temp.path() + "a/b/"));
    control<QPushButton>("WriteCSV")->click();
    EXPECT_EQ(form.messages, std::vector<std::string>{"TarrowMgr: No such file or directory"});
}

// Folder and file names are the file system's bytes: a folder the operator sees as "Jörg"
// (and the browser returns so) is the one that receives the files, not a new one.
TEST_F(Window, FolderAndFileNamesKeepTheFileSystemsSpelling) {
    testing::TempFolder temp;
    const std::string folder = temp.path() + "J\xC3\xB6rg/";  // UTF-8 on disk
    std::filesystem::create_directory(folder);
    form.setWorkingDirText(folder);
    EXPECT_EQ(control<QLineEdit>("WPathText")->text(),
              QString::fromStdString(temp.path()) + QString::fromUtf8("J\xC3\xB6rg/"));
    control<QLineEdit>("CsvFileText")
        ->setText(QString::fromUtf8("Gr\xC3\xBC\xC3\x9F"
                                    "e.csv"));
    control<QLineEdit>("NumUsersText")->setText("1");
    control<QPushButton>("WriteCSV")->click();
    EXPECT_TRUE(form.messages.empty());
    EXPECT_TRUE(std::filesystem::exists(folder + "Gr\xC3\xBC\xC3\x9F"
                                                 "e.csv"));
    const std::string controllerIni = testing::readFile(folder + "TarrowCtrl.ini");
    EXPECT_EQ(controllerIni.substr(controllerIni.find("UserFile=")),
              "UserFile=Gr\xC3\xBC\xC3\x9F"
              "e.csv\r\n");

    RecordingFrm home{defaultInputs("/home/J\xC3\xB6rg/"), ""};
    EXPECT_EQ(home.findChild<QLineEdit*>("WPathText")->text(),
              QString::fromUtf8("/home/J\xC3\xB6rg/TarrowMgr/"));
}

TEST_F(Window, InformationOpensTheReadMeAddress) {
    control<QPushButton>("InfoBrowse")->click();
    EXPECT_EQ(form.opened, std::vector<std::string>{"file:///opt/README.md"});
}

// Runs action once the folder browser is open, then lets the caller's exec() return.
void whileBrowserOpen(std::function<void(QFileDialog&)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr) {
            ADD_FAILURE() << "no folder browser open";
            return;
        }
        action(*dialog);
    });
}

TEST_F(Window, FolderBrowserOpensOnTheStartFolderAndReturnsItWithASlash) {
    testing::TempFolder temp;
    std::filesystem::create_directory(temp.path() + "pick");
    const QString start = QString::fromStdString(temp.path() + "pick/");
    QString status;
    whileBrowserOpen([&](QFileDialog& dialog) {
        EXPECT_TRUE(dialog.testOption(QFileDialog::ShowDirsOnly));
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog.windowTitle(), "Select");
        BrowseCallbackProc(&dialog, kBrowseSelectionChanged, QString::fromStdString(temp.path()), 0);
        status = dialog.findChild<QLabel*>(kBrowseStatusName)->text();
        static_cast<QDialog&>(dialog).accept();  // what the OK button does
    });
    EXPECT_EQ(BrowseForDirectory(&form, "Select", start), start);
    EXPECT_EQ(status.toStdString() + "/", temp.path());
}

TEST_F(Window, CancellingTheFolderBrowserGivesAnEmptyTextAndKeepsTheWorkingFolder) {
    control<QLineEdit>("WPathText")->setText("/srv/keep/");
    whileBrowserOpen([](QFileDialog& dialog) { dialog.reject(); });
    control<QPushButton>("BrowseWPath")->click();
    EXPECT_EQ(control<QLineEdit>("WPathText")->text(), "/srv/keep/");

    whileBrowserOpen([](QFileDialog& dialog) { dialog.reject(); });
    EXPECT_TRUE(BrowseForDirectory(&form, "t", "/").isEmpty());
}

TEST_F(Window, StatusLineIgnoresSelectionsThatAreNoFolders) {
    QFileDialog dialog;
    auto* status = new QLabel("before", &dialog);
    status->setObjectName(kBrowseStatusName);
    EXPECT_EQ(BrowseCallbackProc(&dialog, kBrowseSelectionChanged, "/no/such/folder", 0), 0);
    EXPECT_EQ(status->text(), "before");
    EXPECT_EQ(BrowseCallbackProc(&dialog, kBrowseSelectionChanged, "/", 0), 0);
    EXPECT_EQ(status->text(), "/");
    EXPECT_EQ(BrowseCallbackProc(&dialog, 99, "/tmp", 0), 0);
    EXPECT_EQ(BrowseCallbackProc(nullptr, kBrowseInitialized, {}, 0), 0);
}

}  // namespace
}  // namespace tarrowmgr
