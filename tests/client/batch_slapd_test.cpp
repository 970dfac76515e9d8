// A batch run against a private directory server on 127.0.0.1: real logins, real files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/slapd/private_slapd.h"
#include "tests/support/form_harness.h"

using tarrow::FormHarness;
using tarrow::test::PrivateSlapd;

TEST(BatchRunAgainstDirectory, RightAndWrongPasswordsAreLoggedAndCounted) {
    PrivateSlapd slapd({{"alice", "Alice-pw1"}, {"bob", "Bob-pw2"}});
    const std::string rest = std::string(",") + slapd.tree() + "," + PrivateSlapd::kContext + ",srv1,300";
    FormHarness h;
    h.form().workloadUsersFile = h.writeFile("users.dat", "alice,Alice-pw1" + rest + "\r\n" + "bob,wrong" +
                                                              rest + "\r\n" + "bob,Bob-pw2" + rest + "\r\n" +
                                                              "nobody,x" + rest + "\r\n");
    tarrow::BatchTally tally;
    h.form().guarded([&] { tally = h.form().runBatch(); });

    ASSERT_TRUE(h.errorReport.texts.empty()) << h.errorReport.texts.front();
    const std::vector<std::string>& log = h.log();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[0], "alice Successful Login!");
    EXPECT_EQ(log[1], "***DSUser DSERROR: QVDSLogin returned -203");
    EXPECT_EQ(log[2], "bob Successful Login!");
    EXPECT_TRUE(log[3].starts_with("***DSUser DSERROR: QVDSLogin returned -")) << log[3];
    EXPECT_TRUE(log[4].starts_with("It took: ")) << log[4];
    EXPECT_TRUE(log[4].ends_with(" to execute the client workload.")) << log[4];
    EXPECT_EQ(log[5], "");
    EXPECT_EQ(log[6], "  There were 4 operations performed.");
    EXPECT_EQ(log[7], "  Successful operations: 2");
    // The edit boxes show the last user whose operation returned.
    EXPECT_EQ(h.edtUser.text(), "bob");
    EXPECT_EQ(h.edtPasswd.text(), "Bob-pw2");
    EXPECT_EQ(h.edtTree.text(), slapd.tree());
    EXPECT_TRUE(tally.fileRead);
    EXPECT_EQ(tally.performed, 4);
    EXPECT_EQ(tally.successful, 2);
    EXPECT_EQ(tally.directoryErrors, 2);
}
