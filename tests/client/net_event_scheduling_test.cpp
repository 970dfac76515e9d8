// Workload event scheduling in virtual time: the drawn delay, the countdown text and the event.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qds/fake/qdsfake.h"
#include "tests/support/form_harness.h"

namespace {

using tarrow::FormHarness;
using Lines = std::vector<std::string>;

const std::string kAlice = "Ualice,secret,Tree,Users.Vantric,srv1";

FormHarness::Options maxDelayIni(const std::string& value) {
    return FormHarness::withIni("[General]\nMaxDelay=" + value + "\n");
}

class EventScheduling : public ::testing::Test {
protected:
    void SetUp() override { qdsfake_reset(); }
};

TEST_F(EventScheduling, MaxDelayZeroFiresOneSecondAfterEveryArming) {
    FormHarness h(maxDelayIni("0"));
    tarrow::connectController(h);
    for (int round = 0; round < 2; ++round) {
        h.tcp.raiseReadable(kAlice);
        h.advance(999);
        EXPECT_TRUE(h.tcp.writes.size() == static_cast<std::size_t>(round));
        h.advance(1);
        EXPECT_EQ(h.tcp.writes.size(), static_cast<std::size_t>(round + 1));
        EXPECT_EQ(h.lblFuncTimer.text(), "Next event in 0 second(s)");
        h.advance(10000);  // idle until the next packet
    }
    EXPECT_EQ(h.random.draws, 0U);
}

TEST_F(EventScheduling, SecondPacketWhileArmedReplacesCredentialsNotTheDelay) {
    FormHarness h(maxDelayIni("120"));
    h.random.script = {9};  // 10 s
    tarrow::connectController(h);
    h.tcp.raiseReadable(kAlice);
    h.advance(2000);
    h.tcp.raiseReadable("Ubob,pw,Tree,Users.Vantric,srv1");
    h.advance(7999);
    EXPECT_TRUE(h.tcp.writes.empty());
    h.advance(1);
    EXPECT_EQ(h.tcp.writes, Lines{"R1"});
    EXPECT_EQ(h.form().user->userName, "bob");
    Lines logins;
    for (std::size_t i = 0; i < qdsfake_call_count(); ++i) {
        const std::string call = qdsfake_call(i);
        if (call.rfind("QVDSLogin(", 0) == 0) logins.push_back(call);
    }
    ASSERT_EQ(logins.size(), 1U);
    EXPECT_NE(logins[0].find(",bob,"), std::string::npos);
    h.advance(60000);
    EXPECT_EQ(h.tcp.writes.size(), 1U);
    EXPECT_FALSE(h.timeEvent.enabled());
    EXPECT_FALSE(h.timeCountdown.enabled());
}

TEST_F(EventScheduling, LossWhileArmedStillRunsTheOperationWithoutReplyOrErrorLine) {
    FormHarness h(maxDelayIni("120"));
    h.random.script = {2};
    tarrow::connectController(h);
    h.tcp.raiseReadable(kAlice);
    h.tcp.raiseClosed();
    EXPECT_TRUE(h.edtUser.enabled());
    const std::size_t before = h.log().size();
    const std::size_t callsBefore = qdsfake_call_count();
    h.advance(3000);
    EXPECT_GT(qdsfake_call_count(), callsBefore);
    EXPECT_TRUE(h.tcp.writes.empty());
    // Discovery ran meanwhile; nothing else reached the log.
    for (const std::string& line : tarrow::logSince(h, before))
        EXPECT_EQ(line.rfind("***", 0), std::string::npos);
    EXPECT_TRUE(h.errorReport.texts.empty());
}

TEST_F(EventScheduling, FailedLoginIsLoggedAndRepliedAsR0WithTheMessage) {
    FormHarness h(maxDelayIni("0"));
    tarrow::connectController(h);
    qdsfake_fail_user("alice", -669);
    h.tcp.raiseReadable(kAlice);
    h.advance(1000);
    EXPECT_EQ(h.log().back(), "***DSUser ERROR: QVDSLogin returned -669");
    EXPECT_EQ(h.tcp.writes, Lines{"R0QVDSLogin returned -669"});
}

TEST_F(EventScheduling, CountdownTextsAroundFirstAndLaterEvent) {
    FormHarness h(maxDelayIni("120"));
    h.random.script = {2, 3};  // first delay 3 s, then 4 s
    Lines labels;
    tarrow::connectController(h);
    labels.push_back(h.lblFuncTimer.text());
    h.tcp.raiseReadable(kAlice);
    for (int s = 0; s < 3; ++s) {
        h.advance(1000);
        labels.push_back(h.lblFuncTimer.text());
    }
    // The countdown tick was armed first, so at 3 s it runs before the event; the event's
    // draw then shows the next delay.
    EXPECT_EQ(labels, (Lines{"Next event in 2 second(s)", "Next event in 3 second(s)",
                             "Next event in 2 second(s)", "Next event in 3 second(s)"}));
    EXPECT_EQ(h.tcp.writes.size(), 1U);

    labels.clear();
    h.tcp.raiseReadable(kAlice);
    for (int s = 0; s < 4; ++s) {
        h.advance(1000);
        labels.push_back(h.lblFuncTimer.text());
    }
    EXPECT_EQ(labels, (Lines{"Next event in 2 second(s)", "Next event in 1 second(s)",
                             "Next event in 0 second(s)", "Next event in 3 second(s)"}));
    EXPECT_EQ(h.tcp.writes.size(), 2U);
}

TEST_F(EventScheduling, NegativeResultCodeIsRepliedInSignedDecimal) {
    FormHarness h(maxDelayIni("0"));
    tarrow::connectController(h);
    h.tcp.raiseReadable(kAlice);
    h.form().user->function = 9;
    h.advance(1000);
    EXPECT_EQ(h.tcp.writes, Lines{"R-9999"});
}

}  // namespace
