// The window joined to the form: menu choices, shortcuts and the button reach the form's
// handlers, and the check marks end as the form leaves them.
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "client/qt/window_wiring.h"
#include "tests/qt/qt_test_support.h"

namespace {

struct RecordingReport final : tarrow::ErrorReport {
    std::vector<std::string> shown;
    void show(const std::string& text) override { shown.push_back(text); }
};

class WindowWiringTest : public ::testing::Test {
protected:
    WindowWiringTest() : platform(9, 0) {}

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ini = dir.filePath("Tarrow.ini").toStdString();
        std::ofstream(ini) << "[General]\nLocal Broadcast=127.0.0.1\nWorkloadUsersFile="
                           << dir.filePath("absent.dat").toStdString() << "\n";
        form = std::make_unique<TfrmTrwMain>(tarrow::qt::windowPorts(window, platform, report, ini));
        tarrow::qt::connectForm(window, *form);
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : &window, key, modifiers);
    }

    QTemporaryDir dir;
    std::string ini;
    tarrow::qt::TarrowWindow window;
    tarrow::qt::ClientPlatform platform;
    RecordingReport report;
    std::unique_ptr<TfrmTrwMain> form;
};

}  // namespace

TEST_F(WindowWiringTest, StartUpFillsTheWindowAsTheFormDescribes) {
    EXPECT_EQ(window.windowTitle(), "Tarrow Client");
    EXPECT_EQ(window.cmbVendor->currentText(), "Vantric (QDS)");
    EXPECT_EQ(window.cmbFunction->currentText(), "Authenticate/Login");
    EXPECT_EQ(window.lblFuncTimer->text(), "1000");
    EXPECT_FALSE(window.lblFuncTimer->isHidden());
    EXPECT_TRUE(window.memDebug->toPlainText().isEmpty());
    EXPECT_EQ(window.statPanel->text().toStdString(),
              "127.0.0.1 | 9 | " + std::to_string(platform.sktInput.localPort()));
}

TEST_F(WindowWiringTest, EitherModeItemSwitchesTheModeOnceAndBothMarksFlip) {
    window.edtUser->setFocus();
    press(Qt::Key_C, Qt::ControlModifier);  // the item already checked switches as well
    EXPECT_TRUE(window.miOptionsBatch->isChecked());
    EXPECT_FALSE(window.miOptionsClient->isChecked());
    EXPECT_EQ(window.edtPasswd->echoMode(), QLineEdit::Normal);
    EXPECT_FALSE(platform.timeDiscover.enabled());
    EXPECT_EQ(window.statPanel->text(), "Discovery timer disabled");

    window.miOptionsBatch->trigger();
    EXPECT_FALSE(window.miOptionsBatch->isChecked());
    EXPECT_TRUE(window.miOptionsClient->isChecked());
    EXPECT_EQ(window.edtPasswd->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(platform.timeDiscover.enabled());
    EXPECT_EQ(window.statPanel->text(), "Discovery timer enabled");
}

TEST_F(WindowWiringTest, AltShortcutsMoveTheFocusThroughTheForm) {
    window.edtServer->setFocus();
    press(Qt::Key_U, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), window.edtUser);
    press(Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(window.cmbFunction->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == window.cmbFunction);
    press(Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), window.edtPasswd);
}

TEST_F(WindowWiringTest, ExecuteInBatchModeRunsTheBatchAndAnErrorGoesToTheReport) {
    window.miOptionsBatch->trigger();
    window.btnExecute->click();
    // The users file is absent: the run reports it without ending the program.
    window.controls().debug.flush();
    EXPECT_EQ(window.memDebug->toPlainText().indexOf("***ERROR: Cannot open users file"), 0);
    EXPECT_EQ(window.memDebug->toPlainText().indexOf("user->execute() Returned: "), -1);
}

TEST_F(WindowWiringTest, FileExitClosesTheWindow) {
    window.edtUser->setFocus();
    press(Qt::Key_F4, Qt::ControlModifier);
    EXPECT_FALSE(window.isVisible());
}
