#include "common/report_json.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <vector>

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
    for (int p = 0; p < kLoginPhaseCount; ++p)
        j[loginPhaseName(p)] = latencyJson(l.phases[static_cast<std::size_t>(p)]);
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
        i["p90_us"] = s.p90Us;
        i["p99_us"] = s.p99Us;
        i["max_us"] = s.maxUs;
        j.push_back(std::move(i));
    }
    return j;
}

Json percentileCurveJson(const LatencyHistogram& h) {
    Json j = Json::array();
    if (h.count() == 0) return j;
    std::vector<double> points;
    for (int p = 0; p <= 95; p += 5) points.push_back(p);
    for (double p : {96.0, 97.0, 98.0, 99.0, 99.5}) points.push_back(p);
    // Each further nine only as far as the run has samples to show it.
    for (double tail = 0.1; tail * static_cast<double>(h.count()) >= 100.0 && tail >= 1e-6; tail /= 10) {
        points.push_back(100.0 - tail);
        points.push_back(100.0 - tail / 2);
    }
    points.push_back(100.0);
    for (double p : points) j.push_back({{"p", p}, {"us", p == 0 ? h.min() : h.percentile(p / 100.0)}});
    return j;
}

Json histogramsJson(const LoginLatencies& l) {
    Json j;
    j["latency"] = l.execute.serializeText();
    for (int p = 0; p < kLoginPhaseCount; ++p)
        j[loginPhaseName(p)] = l.phases[static_cast<std::size_t>(p)].serializeText();
    return j;
}

Json directorySettingsJson() {
    const auto variable = [](const char* name, const char* unset) -> Json {
        const char* value = std::getenv(name);
        return value && *value ? Json(value) : Json(unset);
    };
    Json j;
    j["connect_timeout_ms"] = variable("QDS_CONNECT_TIMEOUT_MS", "3000 (default)");
    j["op_timeout_ms"] = variable("QDS_OP_TIMEOUT_MS", "5000 (default)");
    j["starttls"] = variable("QDS_STARTTLS", "off (default)");
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
