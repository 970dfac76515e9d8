// The window against the form description: places, sizes, captions, tab order, shortcuts,
// menu, and the control adapters on their widgets.
#include <QApplication>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTextBlock>
#include <gtest/gtest.h>

#include "client/qt/tarrow_window.h"

using tarrow::qt::TarrowWindow;

namespace {

class TarrowWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Presses keys on whatever has the focus, as a user would.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target ? target : &window, key, modifiers);
    }

    static bool hasFocus(QWidget* w) {
        QWidget* focus = QApplication::focusWidget();
        return focus == w || (focus && w->isAncestorOf(focus));
    }

    TarrowWindow window;
};

void expectGeometry(QWidget* w, QWidget* parent, QRect rect) {
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget(), parent);
    EXPECT_EQ(w->geometry(), rect) << w->metaObject()->className();
}

}  // namespace

TEST_F(TarrowWindowTest, TheClientAreaIsFixedAt448By447AndThePlaceIs78By47) {
    QWidget* client = window.centralWidget();
    EXPECT_EQ(client->size(), QSize(448, 428));
    const QRect bar = window.statusBar()->geometry();
    EXPECT_EQ(bar.top() - client->geometry().top(), 428);
    EXPECT_EQ(bar.size(), QSize(448, 19));
    EXPECT_EQ(window.height() - client->geometry().top(), 447);
    EXPECT_EQ(window.width(), 448);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.pos(), QPoint(78, 47));
    EXPECT_EQ(window.font().family(), "MS Sans Serif");
    EXPECT_EQ(window.font().pointSize(), 8);
}

TEST_F(TarrowWindowTest, EveryComponentStandsAtItsPlaceWithItsCaption) {
    QWidget* client = window.centralWidget();
    expectGeometry(window.grpGeneral, client, {5, 15, 211, 156});
    EXPECT_EQ(window.grpGeneral->title(), "General Info");
    expectGeometry(window.lblUsername, window.grpGeneral, {10, 30, 51, 13});
    expectGeometry(window.edtUser, window.grpGeneral, {65, 25, 136, 21});
    expectGeometry(window.lblPassword, window.grpGeneral, {10, 55, 49, 13});
    expectGeometry(window.edtPasswd, window.grpGeneral, {65, 50, 136, 21});
    expectGeometry(window.lblTree, window.grpGeneral, {35, 80, 25, 13});
    expectGeometry(window.edtTree, window.grpGeneral, {65, 75, 136, 21});
    expectGeometry(window.lblContext, window.grpGeneral, {20, 105, 39, 13});
    expectGeometry(window.edtContext, window.grpGeneral, {65, 100, 136, 21});
    expectGeometry(window.lblServer, window.grpGeneral, {25, 130, 34, 13});
    expectGeometry(window.edtServer, window.grpGeneral, {65, 125, 136, 21});
    expectGeometry(window.grpDirectory, client, {225, 15, 216, 81});
    EXPECT_EQ(window.grpDirectory->title(), "Directory");
    expectGeometry(window.lblVendor, window.grpDirectory, {15, 30, 37, 13});
    expectGeometry(window.cmbVendor, window.grpDirectory, {60, 25, 145, 21});
    expectGeometry(window.lblFunction, window.grpDirectory, {10, 55, 44, 13});
    expectGeometry(window.cmbFunction, window.grpDirectory, {60, 50, 145, 21});
    expectGeometry(window.lblFuncTimer, client, {225, 130, 211, 13});
    expectGeometry(window.btnExecute, client, {360, 150, 75, 20});
    expectGeometry(window.memDebug, client, {5, 180, 436, 246});
    EXPECT_EQ(window.btnExecute->text(), "&Execute");

    const std::pair<QLabel*, QWidget*> labels[] = {
        {window.lblUsername, window.edtUser},    {window.lblPassword, window.edtPasswd},
        {window.lblTree, window.edtTree},        {window.lblContext, window.edtContext},
        {window.lblServer, window.edtServer},    {window.lblVendor, window.cmbVendor},
        {window.lblFunction, window.cmbFunction}};
    const char* captions[] = {
        "&Username:", "&Password:", "&Tree:", "&Context:", "&Server:", "&Vendor:", "&Function:"};
    for (std::size_t i = 0; i < std::size(labels); ++i) {
        EXPECT_EQ(labels[i].first->text(), captions[i]);
        EXPECT_EQ(labels[i].first->buddy(), labels[i].second) << captions[i];
    }
}

TEST_F(TarrowWindowTest, ControlsHaveTheSettingsOfTheDescription) {
    EXPECT_EQ(window.edtPasswd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(window.controls().passwd.passwordChar(), '*');
    EXPECT_EQ(window.edtUser->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(window.cmbVendor->isEditable());
    EXPECT_TRUE(window.cmbFunction->isEditable());
    EXPECT_TRUE(window.lblFuncTimer->isHidden());
    EXPECT_EQ(window.lblFuncTimer->minimumSize(), window.lblFuncTimer->maximumSize());
    EXPECT_TRUE(window.memDebug->isReadOnly());
    EXPECT_EQ(window.memDebug->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(window.memDebug->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(window.memDebug->focusPolicy() & Qt::TabFocus);
}

TEST_F(TarrowWindowTest, ThePasswordIsMaskedWithAsterisksAsTheDescriptionSays) {
    window.controls().passwd.setText("kemp");
    EXPECT_EQ(window.edtPasswd->displayText(), "****");
    window.controls().passwd.setPasswordChar('\0');
    EXPECT_EQ(window.edtPasswd->displayText(), "kemp");
    // Other edit boxes show their text as it is.
    window.controls().user.setText("kemp");
    EXPECT_EQ(window.edtUser->displayText(), "kemp");
}

TEST_F(TarrowWindowTest, EveryCaptionFitsItsLabelWithoutBeingCut) {
    for (QLabel* label : {window.lblUsername, window.lblPassword, window.lblTree, window.lblContext,
                          window.lblServer, window.lblVendor, window.lblFunction}) {
        const QString shown = QString(label->text()).remove(QLatin1Char('&'));
        EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->contentsRect().width())
            << shown.toStdString() << " in " << label->font().family().toStdString();
    }
}

TEST_F(TarrowWindowTest, TabWalksTheInputsInTheirOrderAndSkipsTheLogPane) {
    window.edtUser->setFocus();
    ASSERT_TRUE(hasFocus(window.edtUser));
    QWidget* const order[] = {window.edtPasswd, window.edtTree,     window.edtContext, window.edtServer,
                              window.cmbVendor, window.cmbFunction, window.btnExecute, window.edtUser};
    for (QWidget* next : order) {
        press(Qt::Key_Tab);
        EXPECT_TRUE(hasFocus(next)) << "expected " << next->metaObject()->className() << ", focus on "
                                    << (QApplication::focusWidget()
                                            ? QApplication::focusWidget()->metaObject()->className()
                                            : "none");
    }
}

TEST_F(TarrowWindowTest, TheMenuHasFileExitAndTheTwoModeItems) {
    const QList<QAction*> bar = window.menuBar()->actions();
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0]->text(), "&File");
    EXPECT_EQ(bar[1]->text(), "&Options");
    EXPECT_EQ(window.mgFile->actions(), QList<QAction*>{window.miFileExit});
    EXPECT_EQ(window.mgOptions->actions(), (QList<QAction*>{window.miOptionsBatch, window.miOptionsClient}));
    EXPECT_EQ(window.miFileExit->text(), "E&xit");
    EXPECT_EQ(window.miFileExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F4));
    EXPECT_EQ(window.miOptionsBatch->text(), "&Batch Mode");
    EXPECT_EQ(window.miOptionsBatch->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_TRUE(window.miOptionsBatch->isCheckable());
    EXPECT_FALSE(window.miOptionsBatch->isChecked());
    EXPECT_FALSE(window.miOptionsBatch->font().bold());
    EXPECT_EQ(window.miOptionsClient->text(), "&Client Mode");
    EXPECT_EQ(window.miOptionsClient->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_TRUE(window.miOptionsClient->isChecked());
    EXPECT_TRUE(window.miOptionsClient->font().bold());
    EXPECT_TRUE(window.controls().optionsClient.checked());
    EXPECT_FALSE(window.controls().optionsBatch.checked());
}

TEST_F(TarrowWindowTest, EachAltShortcutRunsItsActionOnceWhateverHasTheFocus) {
    const std::pair<QAction*, Qt::Key> actions[] = {
        {window.actnUsername, Qt::Key_U}, {window.actnPasswd, Qt::Key_P}, {window.actnTree, Qt::Key_T},
        {window.actnContext, Qt::Key_C},  {window.actnServer, Qt::Key_S}, {window.actnVendor, Qt::Key_V},
        {window.actnFunction, Qt::Key_F}};
    for (QWidget* focus : {static_cast<QWidget*>(window.edtServer), static_cast<QWidget*>(window.cmbVendor)}) {
        for (const auto& [action, key] : actions) {
            focus->setFocus();
            EXPECT_EQ(action->shortcut(), QKeySequence(Qt::ALT | key));
            QSignalSpy spy(action, &QAction::triggered);
            press(key, Qt::AltModifier);
            EXPECT_EQ(spy.count(), 1) << QKeySequence(Qt::ALT | key).toString().toStdString();
        }
    }
    // Alt+F belongs to the Function action, not to the File menu's title.
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(TarrowWindowTest, MenuShortcutsWorkEvenWhereTheFocusedControlHasItsOwnUse) {
    window.edtUser->setText("text");
    window.edtUser->selectAll();
    window.edtUser->setFocus();
    QSignalSpy client(window.miOptionsClient, &QAction::triggered);
    QSignalSpy batch(window.miOptionsBatch, &QAction::triggered);
    QSignalSpy exitItem(window.miFileExit, &QAction::triggered);
    press(Qt::Key_C, Qt::ControlModifier);
    press(Qt::Key_B, Qt::ControlModifier);
    press(Qt::Key_F4, Qt::ControlModifier);
    EXPECT_EQ(client.count(), 1);
    EXPECT_EQ(batch.count(), 1);
    EXPECT_EQ(exitItem.count(), 1);
}

TEST_F(TarrowWindowTest, AltEClicksExecuteOnlyWhileItIsEnabled) {
    window.edtUser->setFocus();
    QSignalSpy clicked(window.btnExecute, &QPushButton::clicked);
    press(Qt::Key_E, Qt::AltModifier);
    EXPECT_TRUE(clicked.count() == 1 || clicked.wait(2000));
    window.controls().execute.setEnabled(false);
    window.edtUser->setFocus();
    press(Qt::Key_E, Qt::AltModifier);
    QTest::qWait(300);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(TarrowWindowTest, TheMenuItemAdapterOwnsTheCheckMark) {
    auto& item = window.controls().optionsBatch;
    window.miOptionsBatch->trigger();  // Qt flips a checkable action by itself
    EXPECT_TRUE(window.miOptionsBatch->isChecked());
    EXPECT_FALSE(item.checked());
    item.restore();
    EXPECT_FALSE(window.miOptionsBatch->isChecked());
    item.setChecked(true);
    EXPECT_TRUE(window.miOptionsBatch->isChecked());
}

TEST_F(TarrowWindowTest, ControlAdaptersReadAndWriteTheirWidgets) {
    auto& c = window.controls();
    c.user.setText("caf\xe9 user");
    EXPECT_EQ(window.edtUser->text(), QString::fromLatin1("caf\xe9 user"));
    EXPECT_EQ(c.user.text(), "caf\xe9 user");
    c.passwd.setPasswordChar('\0');
    EXPECT_EQ(window.edtPasswd->echoMode(), QLineEdit::Normal);
    c.passwd.setPasswordChar('*');
    EXPECT_EQ(window.edtPasswd->echoMode(), QLineEdit::Password);
    c.server.setEnabled(false);
    EXPECT_FALSE(c.server.enabled());

    c.function.clear();
    c.function.addItem("Authenticate/Login");
    c.function.addItem("Logout");
    EXPECT_EQ(c.function.itemIndex(), 0);
    c.function.setItemIndex(1);
    EXPECT_EQ(c.function.itemCount(), 2);
    EXPECT_EQ(c.function.item(1), "Logout");
    EXPECT_EQ(window.cmbFunction->currentText(), "Logout");
    c.function.clear();
    EXPECT_EQ(c.function.itemIndex(), -1);

    c.funcTimer.setText("1000");
    c.funcTimer.setVisible(true);
    EXPECT_TRUE(c.funcTimer.visible());
    EXPECT_EQ(window.lblFuncTimer->text(), "1000");

    c.status.setSimplePanel(true);
    c.status.setSimpleText("<b>127.255.255.255</b> | 2308 | 2309");
    EXPECT_EQ(c.status.simpleText(), "<b>127.255.255.255</b> | 2308 | 2309");
    EXPECT_EQ(window.statPanel->text(), "<b>127.255.255.255</b> | 2308 | 2309");
    EXPECT_EQ(window.statPanel->textFormat(), Qt::PlainText);

    c.window.setCaption("Tarrow Client");
    EXPECT_EQ(window.windowTitle(), "Tarrow Client");
    EXPECT_EQ(c.window.caption(), "Tarrow Client");
}

TEST_F(TarrowWindowTest, TheLogPaneHoldsOneBlockPerLineAndClears) {
    auto& log = window.controls().debug;
    log.append("Discovery Timer");
    log.append("");
    log.append("127.255.255.255");
    // Gathered lines reach the pane as soon as the event loop runs.
    QTest::qWait(1);
    EXPECT_EQ(window.memDebug->toPlainText(), "Discovery Timer\n\n127.255.255.255");
    EXPECT_EQ(window.memDebug->blockCount(), 3);
    log.append("next");
    log.clear();
    QTest::qWait(1);
    EXPECT_EQ(window.memDebug->toPlainText(), "");
    EXPECT_FALSE(window.memDebug->document()->isUndoAvailable());
}

TEST_F(TarrowWindowTest, TheLogPaneKeepsTheOrderOfLinesAcrossChunks) {
    auto& log = window.controls().debug;
    const int lines = tarrow::qt::QtLogPane::kChunkLines + 3;
    for (int i = 0; i < lines; ++i) log.append(std::to_string(i));
    log.flush();
    ASSERT_EQ(window.memDebug->blockCount(), lines);
    EXPECT_EQ(window.memDebug->document()->findBlockByNumber(0).text(), "0");
    EXPECT_EQ(window.memDebug->document()->findBlockByNumber(lines - 1).text(), QString::number(lines - 1));
}

TEST_F(TarrowWindowTest, CloseAdapterClosesTheWindow) {
    window.controls().window.close();
    EXPECT_FALSE(window.isVisible());
}
