#include "common/report_json.h"

#include <nlohmann/json.hpp>

namespace tarrow {

using Json = nlohmann::ordered_json;

Json latencyJson(const LatencyHistogram& h) {
    Json j;
    j["count"] = h.count();
    j["mean"] = h.mean();
    j["p50"] = h.percentile(0.50);
    j["p90"] = h.percentile(0.90);
    j["p99"] = h.percentile(0.99);
    j["p999"] = h.percentile(0.999);
    j["max"] = h.max();
    return j;
}

Json phasesJson(const LoginLatencies& l) {
    Json j = Json::object();
    for (int p = 0; p < kLoginPhaseCount; ++p) j[loginPhaseName(p)] = latencyJson(l.phases[static_cast<std::size_t>(p)]);
    return j;
}

Json intervalsJson(const std::vector<IntervalSummary>& seconds) {
    Json j = Json::array();
    for (const IntervalSummary& s : seconds) {
        Json i;
        i["t_s"] = s.second;
        i["logins"] = s.logins;
        i["successful"] = s.successful;
        i["failed"] = s.failed;
        i["errors"] = s.errors;
        i["p50_us"] = s.p50Us;
        i["p99_us"] = s.p99Us;
        j.push_back(std::move(i));
    }
    return j;
}

Json messagesJson(const MessageCounts& m) {
    Json j = Json::object();
    for (const auto& [text, count] : m.counts()) j[text] = count;
    return j;
}

Json hostJson(const HostCounters& start, const HostCounters& end) {
    Json j;
    j["source"] = start.readable && end.readable ? "/proc/net/netstat, /proc/net/snmp" : "unreadable";
    for (const HostCounterName& name : kHostCounters) {
        const auto growth = counterGrowth(start, end, name);
        j[name.key] = growth ? Json(*growth) : Json(nullptr);
    }
    return j;
}

std::string reportText(const Json& report) {
    return report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace tarrow
