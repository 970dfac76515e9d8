#include "report/model/logins_csv.h"

#include <charconv>

namespace tarrow {
namespace {

void appendNumber(std::string& out, std::int64_t v) {
    char buf[24];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, ec == std::errc() ? end : buf);
}

void appendOptional(std::string& out, const std::optional<std::int64_t>& v) {
    out += ',';
    if (v) appendNumber(out, *v);
}

}  // namespace

std::string LoginsCsv::header() const {
    std::string h = "time,";
    if (columns_ & kCsvClient) h += "client,";
    h += "user,outcome,code,message,";
    if (columns_ & kCsvReplyMs) h += "reply_ms,";
    h += "execute_us,";
    if (columns_ & kCsvLagUs) h += "lag_us,";
    for (int p = 0; p < kLoginPhaseCount; ++p) {
        h += loginPhaseName(p);
        h += p + 1 < kLoginPhaseCount ? "_us," : "_us\r\n";
    }
    return h;
}

void LoginsCsv::append(std::string& out, const LoginRow& row) {
    utc_.append(out, row.wallMs);
    if (columns_ & kCsvClient) {
        out += ',';
        appendCsvField(out, row.client);
    }
    out += ',';
    appendCsvField(out, row.user);
    out += ',';
    out.append(row.outcome.data(), row.outcome.size());
    out += ',';
    if (row.code) appendNumber(out, *row.code);
    out += ',';
    appendCsvField(out, row.message);
    if (columns_ & kCsvReplyMs) {
        out += ',';
        if (row.replyUs) out += formatMs(*row.replyUs);
    }
    appendOptional(out, row.executeUs);
    if (columns_ & kCsvLagUs) appendOptional(out, row.lagUs);
    for (int p = 0; p < kLoginPhaseCount; ++p)
        appendOptional(out, row.phases.has(p)
                                ? std::optional<std::int64_t>(row.phases.us[static_cast<std::size_t>(p)])
                                : std::nullopt);
    out.append("\r\n", 2);
}

}  // namespace tarrow
