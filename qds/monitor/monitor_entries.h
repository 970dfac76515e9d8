// Which monitor dialect a server's entries are, and the figures in them: the part of the
// reader that needs no connection.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "qds/monitor/directory_monitor.h"

namespace qds::monitor {

// One entry as read: its DN and the first value of each attribute asked for, the
// attribute names in lower case.
struct MonitorEntry {
    std::string dn;
    std::map<std::string, std::string> values;
};

// The base of the search, its filter and the attributes asked for: one search reads the
// entries of both dialects.
extern const char* const kSearchBase;
extern const char* const kSearchFilter;
extern const char* const kSearchAttributes[];  // null-terminated

// The sample the entries make; dialect DIRMON_NONE when they hold neither dialect.
DirmonSample sampleOfEntries(const std::vector<MonitorEntry>& entries);

}  // namespace qds::monitor
