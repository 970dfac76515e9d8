#include "controller/core/reply_packet.h"

#include <gtest/gtest.h>

namespace tarrow::ctrl {
namespace {

TEST(ReplyPacket, CodeRepliesAreCompleteAtOnceAndClassified) {
    for (auto [bytes, kind, code] :
         {std::tuple{"R1", ReplyKind::Success, 1}, std::tuple{"R-9999", ReplyKind::Failed, -9999},
          std::tuple{"R-10000", ReplyKind::Failed, -10000}, std::tuple{"R7", ReplyKind::Failed, 7}}) {
        EXPECT_EQ(replyState(bytes), ReplyState::Complete) << bytes;
        Reply r;
        ASSERT_TRUE(parseReply(bytes, r)) << bytes;
        EXPECT_EQ(r.kind, kind) << bytes;
        EXPECT_EQ(r.code, code) << bytes;
    }
}

TEST(ReplyPacket, ErrorRepliesAndPrefixesWaitForQuiet) {
    for (const char* bytes : {"R", "R-", "R0", "R0login() - -601", "R0a,b\r\n\"c\""})
        EXPECT_EQ(replyState(bytes), ReplyState::NeedsQuiet) << bytes;
    Reply r;
    ASSERT_TRUE(parseReply("R0", r));
    EXPECT_EQ(r.kind, ReplyKind::Error);
    EXPECT_EQ(r.message, "");
    ASSERT_TRUE(parseReply(std::string_view("R0a\0b", 5), r));
    EXPECT_EQ(r.message, std::string_view("a\0b", 3)) << "the message is taken byte for byte";
}

TEST(ReplyPacket, WhatIsNotAReply) {
    for (const char* bytes : {"r1", "U1", "R1 ", "R+1", "R-0", "R--1", "R 1", "R1\r\n", "R99999999999"}) {
        EXPECT_EQ(replyState(bytes), ReplyState::Invalid) << bytes;
        Reply r;
        EXPECT_FALSE(parseReply(bytes, r)) << bytes;
    }
    Reply r;
    EXPECT_FALSE(parseReply("R", r));
    EXPECT_FALSE(parseReply("R-", r));
    const std::string longest = "R0" + std::string(kMaxReplyBytes - 2, 'm');
    EXPECT_TRUE(parseReply(longest, r));
    EXPECT_EQ(replyState(longest + "m"), ReplyState::Invalid);
}

}  // namespace
}  // namespace tarrow::ctrl
