// How the directory libraries read a tree and a context, and convert code pages.
#include "qds/include/qverrors.h"
#include "qds/include/qvintlapi.h"
#include "qds/real/code_pages.h"
#include "qds/real/directory_names.h"

#include <gtest/gtest.h>

namespace {

TEST(TreeToUrl, HostsPortsAndUrls) {
    EXPECT_EQ(qds::treeToUrl("127.0.0.1"), "ldap://127.0.0.1");
    EXPECT_EQ(qds::treeToUrl("localhost:3890"), "ldap://localhost:3890");
    EXPECT_EQ(qds::treeToUrl("[::1]:389"), "ldap://[::1]:389");
    EXPECT_EQ(qds::treeToUrl("ldaps://127.0.0.1:636"), "ldaps://127.0.0.1:636");
    EXPECT_EQ(qds::treeToUrl("LDAP://127.0.0.1"), "LDAP://127.0.0.1");
}

TEST(TreeToUrl, RefusesWhatIsNoServer) {
    for (const char* bad :
         {"", "host:", "host:0", "host:65536", "host:12x", "a b", "host/x", "[::1", "[::1]x", "ldap://a b"})
        EXPECT_FALSE(qds::treeToUrl(bad)) << bad;
}

TEST(ContextToDn, ReadsRightToLeftWithOrganisationOnTop) {
    EXPECT_EQ(qds::contextToDn("Users.Engineering.Elmford.Vantric"),
              "ou=Users,ou=Engineering,ou=Elmford,o=Vantric");
    EXPECT_EQ(qds::contextToDn("Vantric"), "o=Vantric");
    EXPECT_EQ(qds::contextToDn(""), "");
    for (const char* bad : {".", "A..B", ".A", "A."}) EXPECT_FALSE(qds::contextToDn(bad)) << bad;
}

TEST(DnEscaping, NoTextCanAddADnPart) {
    EXPECT_EQ(qds::escapeDnValue("a,b+c=d"), "a\\,b\\+c\\=d");
    EXPECT_EQ(qds::escapeDnValue("#x "), "\\#x\\ ");
    EXPECT_EQ(qds::escapeDnValue("a\\\"<>;"), "a\\\\\\\"\\<\\>\\;");
    EXPECT_EQ(qds::userDn("bob", "o=V"), "cn=bob,o=V");
    EXPECT_EQ(qds::userDn("bob", ""), "cn=bob");
}

TEST(CodePageOfLocale, SingleByteCodeSetsOrWindows1252) {
    EXPECT_EQ(qds::codePageOfLocale("de_DE.ISO-8859-15@euro"), 28605);
    EXPECT_EQ(qds::codePageOfLocale("ru_RU.KOI8-R"), 20866);
    EXPECT_EQ(qds::codePageOfLocale("en_US.iso88591"), 28591);
    EXPECT_EQ(qds::codePageOfLocale("en_US.UTF-8"), 1252);
    EXPECT_EQ(qds::codePageOfLocale("C"), 1252);
    EXPECT_EQ(qds::countryOfLocale("de_DE.UTF-8"), 49);
    EXPECT_EQ(qds::countryOfLocale("C"), 1);
}

TEST(Utf8Table, Windows1252HasTheEuroWhereLatin1HasAControl) {
    const auto cp1252 = qds::buildUtf8Table(1252);
    ASSERT_TRUE(cp1252);
    EXPECT_EQ((*cp1252)[0x80], "\xe2\x82\xac");
    EXPECT_EQ((*cp1252)[0xE4], "\xc3\xa4");
    EXPECT_EQ((*cp1252)['A'], "A");
    EXPECT_EQ((*cp1252)[0x81], "\xc2\x81");  // undefined: kept as its own code point
    const auto latin1 = qds::buildUtf8Table(28591);
    ASSERT_TRUE(latin1);
    EXPECT_EQ((*latin1)[0x80], "\xc2\x80");
    EXPECT_FALSE(qds::buildUtf8Table(65001));
}

TEST(LocalToUtf8, NeedsTablesAndRoomAndReleasesByCount) {
    char out[16];
    EXPECT_EQ(QVLocalToUTF8("a", out, sizeof out), QV_ERR_NO_UNICODE_TABLES);
    EXPECT_EQ(QVInitUnicodeTables(65001, 1), QV_ERR_UNSUPPORTED_CODE_PAGE);
    ASSERT_EQ(QVInitUnicodeTables(1252, 1), QV_OK);
    ASSERT_EQ(QVInitUnicodeTables(1252, 1), QV_OK);
    EXPECT_EQ(QVLocalToUTF8("\xe4\x80", out, sizeof out), QV_OK);
    EXPECT_STREQ(out, "\xc3\xa4\xe2\x82\xac");
    EXPECT_EQ(QVLocalToUTF8("\x80\x80\x80\x80\x80\x80", out, sizeof out), QV_ERR_BAD_ARGUMENT);
    QVFreeUnicodeTables();
    EXPECT_EQ(QVLocalToUTF8("a", out, sizeof out), QV_OK);
    QVFreeUnicodeTables();
    EXPECT_EQ(QVLocalToUTF8("a", out, sizeof out), QV_ERR_NO_UNICODE_TABLES);
}

TEST(ErrorText, EveryTableCodeHasItsText) {
    EXPECT_STREQ(QVErrorText(QV_ERR_INVALID_CREDENTIALS), "invalid credentials");
    EXPECT_STREQ(QVErrorText(QV_ERR_TIMEOUT), "server did not answer in time");
    EXPECT_STREQ(QVErrorText(12345), "unknown error");
}

}  // namespace

#include "qds/real/sigpipe_guard.h"

#include <csignal>

namespace {

TEST(SigpipeGuard, SigpipeInsideTheGuardNeitherEndsTheProcessNorStaysPending) {
    {
        const qds::SigpipeGuard guard;
        std::raise(SIGPIPE);  // as a write to a closed connection would
    }
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);  // the mask is restored
}

}  // namespace

namespace {

TEST(SigpipeGuard, OnAThreadThatBlocksSigpipeItChangesNothing) {
    sigset_t pipeOnly, before;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeOnly, &before);
    {
        const qds::SigpipeGuard guard;
        std::raise(SIGPIPE);
    }
    sigset_t mask, pending;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 1);  // still blocked, as the thread wants it
    sigemptyset(&pending);
    sigpending(&pending);
    EXPECT_EQ(sigismember(&pending, SIGPIPE), 1);  // left to the thread, as without the guard
    const timespec noWait{0, 0};
    sigtimedwait(&pipeOnly, nullptr, &noWait);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

}  // namespace
