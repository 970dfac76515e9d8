#include <gtest/gtest.h>

#include <stdexcept>

#include "qds/fake/qdsfake.h"
#include "tests/support/form_harness.h"

using tarrow::FormHarness;

namespace {

class FormStartup : public ::testing::Test {
protected:
    void SetUp() override { qdsfake_reset(); }
};

}  // namespace

TEST_F(FormStartup, WithoutIniEveryDefaultAndTheLoopbackBroadcast) {
    FormHarness h;
    TfrmTrwMain& f = h.form();
    EXPECT_EQ(f.localBroadcast, "127.255.255.255");
    EXPECT_EQ(f.workloadUsersFile, "users.dat");
    EXPECT_EQ(f.performWorkloadAsUser, "admin,73519,Performance,Test,Server");
    EXPECT_EQ(f.numWorkloads, 0);
    EXPECT_FALSE(f.batchWorkloads);
    EXPECT_EQ(f.maxDelay, 120);
    EXPECT_EQ(f.nextEventSeconds, 0);
    EXPECT_TRUE(h.statBar.simplePanel);
    EXPECT_EQ(h.status(), "127.255.255.255 | 2308 | 2309");
    EXPECT_EQ(h.sktOutput.remoteHost(), "127.255.255.255");
}

TEST_F(FormStartup, StatusShowsTheConfiguredAddressAndTheSocketsPorts) {
    FormHarness::Options o = FormHarness::withIni("[General]\nLocal Broadcast=127.0.0.255\nMaxDelay=$1E\n");
    o.build = false;
    FormHarness h(o);
    h.sktOutput.port = 4000;
    h.sktInput.port = 4001;
    h.build();
    EXPECT_EQ(h.status(), "127.0.0.255 | 4000 | 4001");
    EXPECT_EQ(h.form().maxDelay, 30);
}

TEST_F(FormStartup, InputsEmptyListsFilledLabelShown) {
    FormHarness::Options o = FormHarness::withIni("[General]\nPerformWorkloadAsUser=x,y,z,w,v\n");
    o.build = false;
    FormHarness h(o);
    h.edtUser.setText("stale");
    h.memDebug.append("old line");
    h.build();
    for (const auto* e : {&h.edtUser, &h.edtPasswd, &h.edtTree, &h.edtContext, &h.edtServer}) {
        EXPECT_EQ(e->text(), "");
        EXPECT_TRUE(e->enabled());
    }
    EXPECT_EQ(h.edtPasswd.passwordChar(), '*');
    EXPECT_EQ(h.cmbVendor.items, std::vector<std::string>{"Vantric (QDS)"});
    EXPECT_EQ(h.cmbVendor.selectedText(), "Vantric (QDS)");
    EXPECT_EQ(h.cmbFunction.items,
              (std::vector<std::string>{"Authenticate/Login", "Logout", "Create User", "Delete User"}));
    EXPECT_EQ(h.cmbFunction.selectedText(), "Authenticate/Login");
    EXPECT_EQ(h.lblFuncTimer.text(), "1000");
    EXPECT_TRUE(h.lblFuncTimer.visible());
    EXPECT_TRUE(h.log().empty());
    EXPECT_EQ(h.window.caption(), "Tarrow Client");
    EXPECT_TRUE(h.miOptionsClient.checked());
    EXPECT_FALSE(h.miOptionsBatch.checked());
    EXPECT_TRUE(h.btnExecute.enabled());
}

TEST_F(FormStartup, TimersAsDescribedAndFirstDiscoveryAfterOneInterval) {
    FormHarness h;
    EXPECT_TRUE(h.timeDiscover.enabled());
    EXPECT_EQ(h.timeDiscover.intervalMs(), 5000);
    EXPECT_FALSE(h.timeEvent.enabled());
    EXPECT_EQ(h.timeEvent.intervalMs(), 1000);
    EXPECT_FALSE(h.timeCountdown.enabled());
    EXPECT_EQ(h.timeCountdown.intervalMs(), 1000);
    EXPECT_TRUE(h.form().discoveryWasEnabled);
    h.advance(4999);
    EXPECT_TRUE(h.sktOutput.sent.empty());
    h.advance(1);
    ASSERT_EQ(h.sktOutput.sent.size(), 1u);
    EXPECT_EQ(h.sktOutput.sent[0].host, "127.255.255.255");
    EXPECT_EQ(h.sktOutput.sent[0].bytes, "DISCOVER");
}

TEST_F(FormStartup, SeedsOnceFromTheWallClockInWholeSeconds) {
    FormHarness::Options o;
    o.build = false;
    FormHarness h(o);
    h.wallClock.seconds = 1'234'567;
    h.build();
    EXPECT_EQ(h.random.seeds, std::vector<std::uint32_t>{1'234'567u});
}

TEST_F(FormStartup, HandlersRunGuardedAndReachTheErrorReport) {
    FormHarness h(FormHarness::withIni("[General]\nLocal Broadcast=nowhere.invalid\n"));
    h.sktOutput.unresolvable.insert("nowhere.invalid");
    h.advance(5000);
    ASSERT_EQ(h.errorReport.texts.size(), 1u);
    EXPECT_EQ(h.errorReport.texts[0], "Host not found: nowhere.invalid");
    h.advance(5000);  // the program goes on: the next tick tries again
    EXPECT_EQ(h.errorReport.texts.size(), 2u);
}

TEST_F(FormStartup, DestructionLogsOutAndClosesTheConnectionWithoutLostHandling) {
    FormHarness h;
    h.sktInput.inject("DISCOVER", "127.0.0.1");
    h.tcp.raiseConnected();
    ASSERT_TRUE(h.form().sktTCP.connected());
    h.form().user->setUserInfo("alice,pw,127.0.0.1,Users.Vantric,srv");
    ASSERT_EQ(h.form().user->execute(), 1);
    ASSERT_EQ(qdsfake_open_logins(), 1);
    const std::size_t statusWrites = h.statBar.history.size();
    h.destroy();
    EXPECT_EQ(qdsfake_open_logins(), 0);
    EXPECT_EQ(qdsfake_open_contexts(), 0);
    EXPECT_EQ(h.statBar.history.size(), statusWrites);  // no "Connection Lost: "
    EXPECT_FALSE(h.timeDiscover.enabled());
    EXPECT_FALSE(h.tcp.hasHandlers());
    EXPECT_FALSE(h.sktInput.hasHandler());
    h.advance(60'000);  // nothing left that could reach the destroyed form
    EXPECT_TRUE(h.errorReport.texts.empty());
}

TEST_F(FormStartup, FormDestroyDeletesTheUserOnce) {
    FormHarness h;
    h.form().FormDestroy();
    EXPECT_EQ(h.form().user, nullptr);
    h.destroy();
}

TEST(RunGuarded, EveryKindOfErrorBecomesOneReportAndTheCallerGoesOn) {
    tarrow::RecordingErrorReport report;
    tarrow::runGuarded(report, [] { throw DSUser::DSError("QVDSLogin returned -669"); });
    tarrow::runGuarded(report, [] { throw std::runtime_error("socket gone"); });
    tarrow::runGuarded(report, [] { throw 42; });
    tarrow::runGuarded(report, [] {});
    EXPECT_EQ(report.texts,
              (std::vector<std::string>{"QVDSLogin returned -669", "socket gone", "Unknown error"}));
}
