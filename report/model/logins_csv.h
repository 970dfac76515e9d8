// The rows of DIR/logins.csv, for the batch run and the controller alike: RFC 4180, CR LF
// line ends, one row per login (and, in a controlled run, per lease without a reply).
// Columns: time,[client,]user,outcome,code,message,[reply_ms,]execute_us,[lag_us,]
// connect_us,tls_us,bind_us,verify_us,unbind_us; those in brackets only a controlled run has.
#pragma once

#include "common/login_phases.h"
#include "common/report_text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarrow {

enum LoginsCsvColumn : unsigned {
    kCsvClient = 1u << 0,   // "address:port" of the client that ran the login
    kCsvReplyMs = 1u << 1,  // packet sent to reply complete, ms
    kCsvLagUs = 1u << 2,    // the client's event lag before the login, us
};
constexpr unsigned kControlledCsvColumns = kCsvClient | kCsvReplyMs | kCsvLagUs;

struct LoginRow {
    std::int64_t wallMs = 0;  // when the login ended, ms since 1970 UTC
    std::string_view client;
    std::string_view user;     // bytes as in the users file
    std::string_view outcome;  // "success", "failed", "error", "indeterminate"
    std::optional<std::int32_t> code;
    std::string_view message;  // the error text, or why a lease ended without a reply
    std::optional<std::int64_t> replyUs;
    std::optional<std::int64_t> executeUs;
    std::optional<std::int64_t> lagUs;
    PhaseTimings phases;  // phases not reached stay empty
};

class LoginsCsv {
public:
    explicit LoginsCsv(unsigned columns) : columns_(columns) {}
    std::string header() const;  // with its line end
    void append(std::string& out, const LoginRow& row);

private:
    unsigned columns_;
    UtcFormatter utc_;
};

}  // namespace tarrow
