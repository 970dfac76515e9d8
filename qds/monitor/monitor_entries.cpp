#include "qds/monitor/monitor_entries.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace qds::monitor {

const char* const kSearchBase = "cn=Monitor";
const char* const kSearchFilter = "(|(cn=Bind)(cn=Current)(cn=Read)(cn=Write)(cn=Open)(cn=monitor))";
const char* const kSearchAttributes[] = {
    "monitorOpInitiated", "monitorOpCompleted", "monitorCounter", "monitoredInfo", "opsinitiated",
    "opscompleted",       "currentconnections", "readwaiters",    "threads",       nullptr};

namespace {

// DNs compared without letter case and without the blanks after commas.
std::string normalDn(const std::string& dn) {
    std::string out;
    out.reserve(dn.size());
    bool afterComma = false;
    for (const char c : dn) {
        if (afterComma && c == ' ') continue;
        afterComma = c == ',';
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

long long number(const MonitorEntry* entry, const char* attribute) {
    if (!entry) return -1;
    const auto it = entry->values.find(attribute);
    if (it == entry->values.end()) return -1;
    long long value = -1;
    const std::string& text = it->second;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= 0 ? value : -1;
}

}  // namespace

DirmonSample sampleOfEntries(const std::vector<MonitorEntry>& entries) {
    const auto find = [&entries](const char* dn) -> const MonitorEntry* {
        const auto it = std::find_if(entries.begin(), entries.end(),
                                     [dn](const MonitorEntry& e) { return normalDn(e.dn) == dn; });
        return it == entries.end() ? nullptr : &*it;
    };
    DirmonSample sample{DIRMON_NONE, -1, -1, -1, -1, -1, -1};
    if (const MonitorEntry* bind = find("cn=bind,cn=operations,cn=monitor");
        bind && number(bind, "monitoropcompleted") >= 0) {
        sample.dialect = DIRMON_COUNTER_SUBTREE;
        sample.initiated = number(bind, "monitoropinitiated");
        sample.completed = number(bind, "monitoropcompleted");
        sample.connections = number(find("cn=current,cn=connections,cn=monitor"), "monitorcounter");
        sample.read_waiters = number(find("cn=read,cn=waiters,cn=monitor"), "monitorcounter");
        sample.write_waiters = number(find("cn=write,cn=waiters,cn=monitor"), "monitorcounter");
        sample.threads = number(find("cn=open,cn=threads,cn=monitor"), "monitoredinfo");
        return sample;
    }
    if (const MonitorEntry* ops = find("cn=monitor"); ops && number(ops, "opscompleted") >= 0) {
        sample.dialect = DIRMON_OPS_ENTRY;
        sample.initiated = number(ops, "opsinitiated");
        sample.completed = number(ops, "opscompleted");
        sample.connections = number(ops, "currentconnections");
        sample.read_waiters = number(ops, "readwaiters");
        sample.threads = number(ops, "threads");
    }
    return sample;
}

}  // namespace qds::monitor
