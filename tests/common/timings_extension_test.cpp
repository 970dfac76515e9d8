// The wire format of the timings extension: what a client writes, the controller reads back.
#include "common/timings_extension.h"

#include <gtest/gtest.h>

namespace tarrow::timings {
namespace {

using tarrow::LoginPhase;

LoginTimings sample() {
    LoginTimings t;
    t.executeUs = 523;
    t.lagUs = 1003;
    t.phases.set(LoginPhase::Connect, 120);
    t.phases.set(LoginPhase::Bind, 300);
    t.phases.set(LoginPhase::Verify, 50);
    t.phases.set(LoginPhase::Unbind, 40);
    return t;  // no TLS: the phase is left out
}

TEST(TimingsRecord, IsAZeroByteThenFieldsThenALineFeed) {
    std::string out = "R1";
    appendRecord(out, sample());
    EXPECT_EQ(out, std::string("R1\0e=523 l=1003 c=120 b=300 v=50 u=40\n", 38));
    // Nothing measured: the record is empty but still framed.
    out.clear();
    appendRecord(out, LoginTimings{});
    EXPECT_EQ(out, std::string("\0\n", 2));
}

TEST(TimingsRecord, RoundTripsEveryFigureAndAbsentOnes) {
    LoginTimings all = sample();
    all.phases.set(LoginPhase::Tls, 0);  // zero is a figure, not an absence
    all.executeUs = 600'000'000'000;     // ten minutes in us is far from the limit
    for (const LoginTimings& t : {sample(), all, LoginTimings{}}) {
        std::string out;
        appendRecord(out, t);
        LoginTimings back;
        std::size_t consumed = 0;
        ASSERT_EQ(parseRecord(std::string_view(out).substr(1), back, consumed), RecordState::Complete);
        EXPECT_EQ(consumed, out.size() - 1);
        EXPECT_EQ(back.executeUs, t.executeUs);
        EXPECT_EQ(back.lagUs, t.lagUs);
        EXPECT_EQ(back.phases.reached, t.phases.reached);
        EXPECT_EQ(back.phases.us, t.phases.us);
    }
}

TEST(TimingsRecord, NegativeFiguresOtherThanAbsentAreWrittenAsZero) {
    LoginTimings t;
    t.lagUs = -5;  // a timer that fired early by a clock step
    std::string out;
    appendRecord(out, t);
    EXPECT_EQ(out, std::string("\0l=0\n", 5));
}

TEST(TimingsRecord, PartsAndUnknownKeysAndMalformedRecords) {
    LoginTimings t;
    std::size_t consumed = 0;
    EXPECT_EQ(parseRecord("e=52", t, consumed), RecordState::Incomplete);
    EXPECT_EQ(parseRecord("", t, consumed), RecordState::Incomplete);
    // A later minor version's figure is skipped; the known ones are read.
    ASSERT_EQ(parseRecord("e=7 queue=9 b=3\n", t, consumed), RecordState::Complete);
    EXPECT_EQ(t.executeUs, 7);
    EXPECT_EQ(t.phases.of(LoginPhase::Bind), 3);
    EXPECT_FALSE(t.phases.has(LoginPhase::Connect));
    for (std::string_view bad : {"e=\n", "=5\n", "e=-1\n", "e=+1\n", "E=1\n", "e=1  b=2\n", "e=1 \n",
                                 "e=1,b=2\n", "e=1234567890123456789\n", "toolongkey=1\n"}) {
        LoginTimings untouched;
        EXPECT_EQ(parseRecord(bad, untouched, consumed), RecordState::Invalid) << bad;
        EXPECT_EQ(untouched.executeUs, -1) << "an invalid record changes nothing";
    }
    EXPECT_EQ(parseRecord(std::string(kMaxRecordBytes, '1'), t, consumed), RecordState::Invalid);
    EXPECT_EQ(parseRecord(std::string("e=1\0", 4), t, consumed), RecordState::Invalid);
}

TEST(TimingsRequest, IsAnFPacketRecognisedOnlyAtTheFrontAndExactly) {
    EXPECT_EQ(kRequestPacket.front(), 'F');
    EXPECT_EQ(requestLength("Ftarrow-timings/1"), kRequestPacket.size());
    EXPECT_EQ(requestLength("Ftarrow-timings/1Uu1,pw,t,c,s"), kRequestPacket.size());
    EXPECT_EQ(requestLength("F"), 0u);
    EXPECT_EQ(requestLength("Ftarrow-timings/2"), 0u);
    EXPECT_EQ(requestLength("ftarrow-timings/1"), 0u);
    EXPECT_EQ(requestLength("Uu1,pw,t,c,sFtarrow-timings/1"), 0u);
    // The acceptance can never be taken for a reply: it does not begin with "R".
    EXPECT_EQ(kAcceptance.front(), '\0');
    EXPECT_EQ(kAcceptance.back(), '\n');
}

}  // namespace
}  // namespace tarrow::timings
