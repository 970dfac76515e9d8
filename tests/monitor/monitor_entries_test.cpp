// Which dialect a server's monitor entries are, and the figures read from them.
#include "qds/monitor/monitor_entries.h"

#include <gtest/gtest.h>

namespace {

using qds::monitor::MonitorEntry;
using qds::monitor::sampleOfEntries;

std::vector<MonitorEntry> counterSubtree() {
    return {{"cn=Bind,cn=Operations,cn=Monitor", {{"monitoropinitiated", "12"}, {"monitoropcompleted", "11"}}},
            {"cn=Current,cn=Connections,cn=Monitor", {{"monitorcounter", "4"}}},
            {"cn=Current,cn=Time,cn=Monitor", {}},
            {"cn=Read,cn=Waiters,cn=Monitor", {{"monitorcounter", "2"}}},
            {"cn=Write,cn=Waiters,cn=Monitor", {{"monitorcounter", "0"}}},
            {"cn=Open,cn=Threads,cn=Monitor", {{"monitoredinfo", "3"}}}};
}

TEST(MonitorEntries, CounterSubtreeGivesBindsConnectionsWaitersAndThreads) {
    const DirmonSample s = sampleOfEntries(counterSubtree());
    EXPECT_EQ(s.dialect, DIRMON_COUNTER_SUBTREE);
    EXPECT_EQ(s.initiated, 12);
    EXPECT_EQ(s.completed, 11);
    EXPECT_EQ(s.connections, 4);
    EXPECT_EQ(s.read_waiters, 2);
    EXPECT_EQ(s.write_waiters, 0);
    EXPECT_EQ(s.threads, 3);
}

TEST(MonitorEntries, DnsMatchWithoutLetterCaseOrBlanksAfterCommas) {
    auto entries = counterSubtree();
    entries[0].dn = "CN=bind, cn=OPERATIONS, cn=monitor";
    EXPECT_EQ(sampleOfEntries(entries).completed, 11);
}

TEST(MonitorEntries, OpsEntryGivesOperationsAndNoWriteWaiters) {
    const DirmonSample s = sampleOfEntries({{"cn=monitor",
                                             {{"opsinitiated", "90"},
                                              {"opscompleted", "89"},
                                              {"currentconnections", "7"},
                                              {"readwaiters", "1"},
                                              {"threads", "24"}}}});
    EXPECT_EQ(s.dialect, DIRMON_OPS_ENTRY);
    EXPECT_EQ(s.initiated, 90);
    EXPECT_EQ(s.completed, 89);
    EXPECT_EQ(s.connections, 7);
    EXPECT_EQ(s.read_waiters, 1);
    EXPECT_EQ(s.write_waiters, -1);
    EXPECT_EQ(s.threads, 24);
}

TEST(MonitorEntries, NeitherDialectWhenTheCompletedCountIsMissingOrNotANumber) {
    EXPECT_EQ(sampleOfEntries({}).dialect, DIRMON_NONE);
    EXPECT_EQ(sampleOfEntries({{"cn=Monitor", {{"monitoredinfo", "slapd"}}}}).dialect, DIRMON_NONE);
    EXPECT_EQ(sampleOfEntries({{"cn=monitor", {{"opscompleted", "12x"}}}}).dialect, DIRMON_NONE);
    EXPECT_EQ(sampleOfEntries({{"cn=monitor", {{"opscompleted", "-3"}}}}).dialect, DIRMON_NONE);
    // A bind entry elsewhere in the tree is not the monitor's.
    EXPECT_EQ(sampleOfEntries({{"cn=Bind,cn=Operations,o=Vantric", {{"monitoropcompleted", "1"}}}}).dialect,
              DIRMON_NONE);
}

TEST(MonitorEntries, AMissingGaugeIsUnknownNotZero) {
    auto entries = counterSubtree();
    entries.pop_back();  // no threads entry
    entries[1].values["monitorcounter"] = "lots";
    const DirmonSample s = sampleOfEntries(entries);
    EXPECT_EQ(s.dialect, DIRMON_COUNTER_SUBTREE);
    EXPECT_EQ(s.threads, -1);
    EXPECT_EQ(s.connections, -1);
}

}  // namespace
