// DSUser construction and the credential-line parser.
#include "client/directory/DSUser.h"
#include "tests/support/fake_calls.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Fields {
    std::string user, password, tree, context, server;
};

Fields fieldsOf(const DSUser& u) { return {u.userName, u.password, u.tree, u.context, u.server}; }

bool operator==(const Fields& a, const Fields& b) {
    return a.user == b.user && a.password == b.password && a.tree == b.tree && a.context == b.context &&
           a.server == b.server;
}

std::ostream& operator<<(std::ostream& os, const Fields& f) {
    return os << '[' << f.user << '|' << f.password << '|' << f.tree << '|' << f.context << '|' << f.server
              << ']';
}

Fields parsed(const char* line) {
    DSUser u;
    u.setUserInfo(line);
    return fieldsOf(u);
}

TEST(DSUserRecord, NewRecordHasSelectorsOneFlagsClearAndEmptyFields) {
    DSUser u;
    EXPECT_STREQ(u.version, "1.0.01");
    EXPECT_EQ(u.vendor, 1);
    EXPECT_EQ(u.function, 1);
    EXPECT_FALSE(u.loggedIn);
    EXPECT_FALSE(u.authenticated);
    EXPECT_EQ(fieldsOf(u), (Fields{}));
}

TEST(DSUserSetUserInfo, AllThreeSeparatorsAndTheirRunsSplitAlike) {
    const Fields abcde{"a", "b", "c", "d", "e"};
    EXPECT_EQ(parsed("a,b,c,d,e"), abcde);
    EXPECT_EQ(parsed("a;b c,d;e"), abcde);
    EXPECT_EQ(parsed(",,a,,b,,c,,d,,e,,"), abcde);
    EXPECT_EQ(parsed(" ;,a ;, b;;c  d,,,e ; "), abcde);
}

TEST(DSUserSetUserInfo, FieldsAfterTheFifthAreIgnored) {
    EXPECT_EQ(parsed("a,b,c,d,e,f,g"), (Fields{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(parsed("ab cd,b,c,d,e"), (Fields{"ab", "cd", "b", "c", "d"}));
}

TEST(DSUserSetUserInfo, TabAndCarriageReturnAreFieldCharacters) {
    EXPECT_EQ(parsed("a,b,c,d,e\r").server, "e\r");
    EXPECT_EQ(parsed("a\tx,b,c,d,e").user, "a\tx");
}

TEST(DSUserSetUserInfo, LongFieldIsStoredWhole) {
    const std::string longUser(600, 'u');
    EXPECT_EQ(parsed((longUser + ",b,c,d,e").c_str()).user, longUser);
}

TEST(DSUserSetUserInfo, ShortLinesFailAndKeepThePreviousCredentials) {
    DSUser u;
    u.setUserInfo("a,b,c,d,e");
    for (const char* line : {"", ",,; ;", "a,,c,d,e", "a b c d"}) {
        try {
            u.setUserInfo(line);
            ADD_FAILURE() << "accepted \"" << line << '"';
        } catch (const DSUser::DSError& e) {
            EXPECT_EQ(e.message, "setUserInfo() - Insufficient data");
        }
        EXPECT_EQ(fieldsOf(u), (Fields{"a", "b", "c", "d", "e"}));
    }
}

TEST(DSUserSetUserInfo, TouchesNeitherLoginStateNorLibrary) {
    qdsfake_reset();
    DSUser u;
    u.setUserInfo("a,b,c,d,e");
    ASSERT_EQ(u.execute(), 1);
    qdsfake_reset();
    u.setUserInfo("f,g,h,i,j");
    EXPECT_TRUE(u.loggedIn);
    EXPECT_TRUE(u.authenticated);
    EXPECT_EQ(qdsfake_call_count(), 0u);
}

}  // namespace
