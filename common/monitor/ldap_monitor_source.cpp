#include "common/monitor/ldap_monitor_source.h"

#include <cstdlib>

namespace tarrow::monitor {
namespace {

class LdapMonitorSource final : public MonitorSource {
public:
    LdapMonitorSource(Dirmon* monitor, std::string openError)
        : monitor_(monitor), openError_(std::move(openError)) {}
    ~LdapMonitorSource() override { dirmon_close(monitor_); }
    LdapMonitorSource(const LdapMonitorSource&) = delete;
    LdapMonitorSource& operator=(const LdapMonitorSource&) = delete;

    bool read(DirmonSample& sample, std::string& error) override {
        if (!monitor_) {
            error = openError_;
            return false;
        }
        char text[512] = {};
        if (dirmon_read(monitor_, &sample, text, sizeof text) == 0) return true;
        error = text;
        return false;
    }
    std::uint64_t ownBinds() const override { return dirmon_own_binds(monitor_); }

private:
    Dirmon* monitor_;
    std::string openError_;
};

}  // namespace

std::unique_ptr<MonitorSampler> makeLdapSampler(const std::string& uri, const std::string& bindDn,
                                                std::function<std::int64_t()> monotonicUs,
                                                std::function<void(const std::string&)> warn) {
    const char* password = std::getenv(kMonitorPasswordVariable);
    char error[512] = {};
    Dirmon* monitor = dirmon_open(uri.c_str(), bindDn.c_str(), password ? password : "",
                                  kMonitorConnectTimeoutMs, kMonitorOpTimeoutMs, error, sizeof error);
    return std::make_unique<MonitorSampler>(uri, std::make_unique<LdapMonitorSource>(monitor, error),
                                            std::move(monotonicUs), std::move(warn));
}

}  // namespace tarrow::monitor
