#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include "qds/fake/qdsfake.h"
#include "tests/support/fake_calls.h"
#include "tests/support/form_harness.h"

using tarrow::FormHarness;
using ::testing::Contains;

namespace {

class MainForm : public ::testing::Test {
protected:
    void SetUp() override { qdsfake_reset(); }
    void typeCredentials() {
        h.edtUser.setText("alice");
        h.edtPasswd.setText("secret");
        h.edtTree.setText("127.0.0.1");
        h.edtContext.setText("Users.Vantric");
        h.edtServer.setText("srv1");
    }
    FormHarness h;
};

}  // namespace

TEST_F(MainForm, ManualExecutionLogsResultInHexAndTheTime) {
    typeCredentials();
    h.monotonicClock.stepPerReadingUs = 1'005'000;  // the operation takes 1.005 s
    h.form().btnExecuteClick();
    EXPECT_EQ(h.log(),
              (std::vector<std::string>{"user->execute() Returned: 01", "Function took: 00:00:01:05"}));
    EXPECT_THAT(recordedCalls(), Contains("QVDSLogin(1,0,alice,secret,0)"));
}

TEST_F(MainForm, ManualExecutionTakesTheFiveTextsWholeAndRunsTheUsersOwnFunction) {
    h.edtUser.setText(" a,b c; ");
    h.edtPasswd.setText("");
    h.edtTree.setText("t");
    h.edtContext.setText("c,x");
    h.edtServer.setText("s s");
    h.cmbFunction.setItemIndex(3);  // "Delete User": no operation reads the list
    h.form().user->function = 3;
    h.monotonicClock.stepPerReadingUs = 125'300'000;
    h.form().btnExecuteClick();
    const DSUser& u = *h.form().user;
    EXPECT_EQ(u.userName, " a,b c; ");
    EXPECT_EQ(u.password, "");
    EXPECT_EQ(u.tree, "t");
    EXPECT_EQ(u.context, "c,x");
    EXPECT_EQ(u.server, "s s");
    EXPECT_EQ(h.log(), (std::vector<std::string>{"user->execute() Returned: FFFFD8F1",
                                                 "Function took: 00:02:05:300"}));
    EXPECT_EQ(qdsfake_call_count(), 0u);
}

TEST_F(MainForm, DirectoryErrorOfManualExecutionGoesToTheErrorReportWithoutLogLine) {
    typeCredentials();
    qdsfake_fail("QVDSLogin", -669);
    h.form().guarded([&] { h.form().btnExecuteClick(); });
    EXPECT_TRUE(h.log().empty());
    EXPECT_EQ(h.errorReport.texts, std::vector<std::string>{"QVDSLogin returned -669"});
    EXPECT_EQ(h.form().user->userName, "alice");  // the copied fields stay
}

TEST_F(MainForm, ExecuteInBatchModeRunsTheBatchOnly) {
    h.form().workloadUsersFile = h.writeFile("users.dat", "alice,pw,127.0.0.1,Users.Vantric,srv\n");
    h.form().toggleMode();
    h.form().btnExecuteClick();
    ASSERT_EQ(h.log().size(), 5u);
    EXPECT_EQ(h.log()[0], "alice Successful Login!");
    for (const std::string& line : h.log()) {
        EXPECT_EQ(line.find("user->execute() Returned: "), std::string::npos);
        EXPECT_EQ(line.find("Function took: "), std::string::npos);
    }
}

TEST_F(MainForm, ChoosingEitherItemFlipsBothCheckMarks) {
    h.form().toggleMode();  // as if the checked "Client Mode" item was chosen again
    EXPECT_TRUE(h.miOptionsBatch.checked());
    EXPECT_FALSE(h.miOptionsClient.checked());
    h.form().toggleMode();
    EXPECT_FALSE(h.miOptionsBatch.checked());
    EXPECT_TRUE(h.miOptionsClient.checked());
}

TEST_F(MainForm, BatchModeStopsDiscoveryShowsPasswordAndClearsLogBeforeStatus) {
    h.memDebug.append("earlier");
    h.form().toggleMode();
    EXPECT_FALSE(h.timeDiscover.enabled());
    EXPECT_EQ(h.edtPasswd.passwordChar(), '\0');
    EXPECT_TRUE(h.log().empty());
    EXPECT_EQ(h.status(), "Discovery timer disabled");
    EXPECT_EQ(h.memDebug.events.back(), "clear");
    h.advance(20'000);
    EXPECT_TRUE(h.sktOutput.sent.empty());

    h.memDebug.append("batch line");
    h.form().toggleMode();
    EXPECT_TRUE(h.timeDiscover.enabled());
    EXPECT_EQ(h.edtPasswd.passwordChar(), '*');
    EXPECT_TRUE(h.log().empty());
    EXPECT_EQ(h.status(), "Discovery timer enabled");
}

TEST_F(MainForm, ClientModeRestoresDiscoveryOffWhenItWasOff) {
    h.timeDiscover.setEnabled(false);
    h.form().toggleMode();
    h.form().toggleMode();
    EXPECT_FALSE(h.timeDiscover.enabled());
    EXPECT_EQ(h.status(), "Discovery timer disabled");
}

TEST_F(MainForm, ModeSwitchLeavesAnArmedEventAndTheInputsAlone) {
    h.form().user->setUserInfo("alice,pw,127.0.0.1,Users.Vantric,srv");
    h.timeEvent.setEnabled(true);
    h.timeCountdown.setEnabled(true);
    h.btnExecute.setEnabled(false);
    h.form().toggleMode();
    EXPECT_TRUE(h.timeEvent.enabled());
    EXPECT_TRUE(h.timeCountdown.enabled());
    EXPECT_FALSE(h.btnExecute.enabled());
}

TEST_F(MainForm, BatchModeClosesTheControlConnectionAndClientModeDiscoversAgain) {
    tarrow::connectController(h);
    ASSERT_TRUE(h.form().sktTCP.connected());
    ASSERT_FALSE(h.timeDiscover.enabled());
    ASSERT_FALSE(h.edtUser.enabled());
    h.form().toggleMode();
    EXPECT_FALSE(h.form().sktTCP.active());
    EXPECT_TRUE(h.edtUser.enabled());  // the lost handling unlocked the inputs
    EXPECT_EQ(h.statBar.history.end()[-2], "Connection Lost: 127.0.0.1:2308");
    EXPECT_TRUE(h.log().empty());
    // Batch mode keeps discovery off, so that no controller reconnects meanwhile.
    EXPECT_FALSE(h.timeDiscover.enabled());
    EXPECT_EQ(h.status(), "Discovery timer disabled");
    EXPECT_EQ(h.edtPasswd.passwordChar(), '\0');
    h.advance(10'000);
    EXPECT_TRUE(h.sktOutput.sent.empty());

    h.form().toggleMode();
    EXPECT_TRUE(h.timeDiscover.enabled());
    EXPECT_EQ(h.status(), "Discovery timer enabled");
    h.advance(5000);
    EXPECT_EQ(h.sktOutput.sent.size(), 1u);
}

TEST_F(MainForm, BatchModeAbandonsAPendingConnectionAttempt) {
    h.sktInput.inject("DISCOVER", "127.0.0.1");
    ASSERT_TRUE(h.form().sktTCP.connecting());
    h.form().toggleMode();
    EXPECT_FALSE(h.form().sktTCP.active());
    EXPECT_FALSE(h.timeDiscover.enabled());
    h.form().toggleMode();
    EXPECT_TRUE(h.timeDiscover.enabled());
}

TEST_F(MainForm, LockAndUnlockForControlledWork) {
    h.lblFuncTimer.setVisible(false);
    h.timeEvent.setIntervalMs(7000);
    h.form().lockInputs();
    for (const auto* e : {&h.edtUser, &h.edtPasswd, &h.edtTree, &h.edtContext, &h.edtServer}) {
        EXPECT_FALSE(e->enabled());
    }
    EXPECT_FALSE(h.cmbVendor.enabled());
    EXPECT_FALSE(h.cmbFunction.enabled());
    EXPECT_FALSE(h.btnExecute.enabled());
    EXPECT_EQ(h.edtPasswd.passwordChar(), '\0');
    EXPECT_TRUE(h.lblFuncTimer.visible());
    EXPECT_EQ(h.form().nextEventSeconds, 7);

    h.form().unlockInputs();
    for (const auto* e : {&h.edtUser, &h.edtPasswd, &h.edtTree, &h.edtContext, &h.edtServer}) {
        EXPECT_TRUE(e->enabled());
    }
    EXPECT_TRUE(h.cmbVendor.enabled());
    EXPECT_TRUE(h.cmbFunction.enabled());
    EXPECT_TRUE(h.btnExecute.enabled());
    EXPECT_EQ(h.edtPasswd.passwordChar(), '*');
    EXPECT_FALSE(h.lblFuncTimer.visible());
}

TEST_F(MainForm, KeyboardActionsMoveTheFocusAndExitClosesTheWindow) {
    TfrmTrwMain& f = h.form();
    f.actnUsernameExecute();
    f.actnPasswdExecute();
    f.actnTreeExecute();
    f.actnContextExecute();
    f.actnServerExecute();
    f.actnVendorExecute();
    f.actnFunctionExecute();
    for (const auto* e : {&h.edtUser, &h.edtPasswd, &h.edtTree, &h.edtContext, &h.edtServer}) {
        EXPECT_EQ(e->focusCount, 1);
    }
    EXPECT_EQ(h.cmbVendor.focusCount, 1);
    EXPECT_EQ(h.cmbFunction.focusCount, 1);
    f.miFileExitClick();
    EXPECT_EQ(h.window.closeCount, 1);
}
