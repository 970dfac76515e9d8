#include "report/model/report_writer.h"

#include "common/monitor/directory_series.h"
#include "common/report_text.h"

#include <nlohmann/json.hpp>

#include <cstdlib>

namespace tarrow {

using Json = nlohmann::ordered_json;

namespace {

bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int more = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) more = 1, cp = c & 0x1F;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, cp = c & 0x0F;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, cp = c & 0x07;
        else
            return false;
        if (i + static_cast<std::size_t>(more) >= s.size()) return false;
        for (int k = 1; k <= more; ++k) {
            const auto d = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((more == 2 && cp < 0x800) || (more == 3 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) ||
            cp > 0x10FFFF)
            return false;
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

double seconds(std::int64_t us) { return static_cast<double>(us) / 1e6; }

template <typename T>
Json orNull(const std::optional<T>& v) {
    return v ? Json(*v) : Json();
}

Json phasesJson(const LoginLatencies& l) {
    Json j = Json::object();
    for (int p = 0; p < kLoginPhaseCount; ++p)
        j[loginPhaseName(p)] = latencyJson(l.phases[static_cast<std::size_t>(p)]);
    return j;
}

// The optional per-second columns: flag, key, figure.
struct OptionalColumn {
    IntervalColumn flag;
    const char* key;
    std::uint64_t IntervalSummary::*value;
};
constexpr OptionalColumn kOptionalColumns[] = {
    {kColumnIndeterminate, "indeterminate", &IntervalSummary::indeterminate},
    {kColumnTimed, "timed", &IntervalSummary::timed},
    {kColumnClients, "clients", &IntervalSummary::clients},
};

Json intervalsJson(const IntervalSeries& series) {
    Json j = Json::array();
    for (const IntervalSummary& s : series.seconds()) {
        Json i;
        i["t_s"] = s.second;
        i["logins"] = s.logins;
        i["successful"] = s.successful;
        i["failed"] = s.failed;
        i["errors"] = s.errors;
        i["p50_us"] = orNull(s.p50Us);
        i["p90_us"] = orNull(s.p90Us);
        i["p99_us"] = orNull(s.p99Us);
        i["max_us"] = orNull(s.maxUs);
        for (const OptionalColumn& c : kOptionalColumns)
            if (series.columns() & c.flag) i[c.key] = s.*c.value;
        j.push_back(std::move(i));
    }
    return j;
}

Json histogramsJson(const LoginLatencies& l) {
    Json j;
    j["latency"] = l.execute.serializeText();
    for (int p = 0; p < kLoginPhaseCount; ++p)
        j[loginPhaseName(p)] = l.phases[static_cast<std::size_t>(p)].serializeText();
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

// latencyJson's shape in milliseconds, for the reply time.
Json spreadMs(const LatencyHistogram& h) {
    Json o = latencyJson(h);
    for (const char* key : {"mean", "p50", "p90", "p99", "p999", "max"}) o[key] = o[key].get<double>() / 1e3;
    return o;
}

Json clientsJson(const std::vector<ControlledFigures::Client>& clients) {
    Json list = Json::array();
    for (const auto& c : clients)
        list.push_back({{"client", reportString(c.client)},
                        {"timings", c.timings},
                        {"logins", c.successful + c.failed + c.errors},
                        {"successful", c.successful},
                        {"failed", c.failed},
                        {"errors", c.errors},
                        {"indeterminate", c.indeterminate},
                        {"timed", c.timed},
                        {"p50_us", orNull(c.p50Us)},
                        {"p99_us", orNull(c.p99Us)},
                        {"lag_mean_us", orNull(c.lagMeanUs)},
                        {"lag_max_us", orNull(c.lagMaxUs)}});
    return list;
}

Json indeterminateJson(const std::vector<ControlledFigures::Indeterminate>& logins) {
    Json list = Json::array();
    for (const auto& i : logins)
        list.push_back({{"user", reportString(i.user)},
                        {"client", reportString(i.client)},
                        {"reason", i.reason},
                        {"t_s", seconds(i.sinceStartUs)},
                        {"time", formatUtc(i.wallMs)},
                        {"held_ms", static_cast<double>(i.heldUs) / 1e3},
                        {"handed_again", i.handedAgain}});
    return list;
}

Json outagesJson(const std::vector<ControlledFigures::Outage>& outages) {
    Json list = Json::array();
    for (const auto& o : outages) {
        const auto secondsOrNull = [](const std::optional<std::int64_t>& us) {
            return us ? Json(seconds(*us)) : Json();
        };
        list.push_back(
            {{"first_failure_t_s", seconds(o.firstFailureUs)},
             {"first_failure_time", formatUtc(o.firstFailureWallMs)},
             {"first_failure", reportString(o.firstFailure)},
             {"failed_in_row", o.failedInRow},
             {"recovered_t_s", secondsOrNull(o.recoveredUs)},
             {"recovered_time", o.recoveredWallMs ? Json(formatUtc(*o.recoveredWallMs)) : Json()},
             {"duration_s", o.recoveredUs ? Json(seconds(*o.recoveredUs - o.firstFailureUs)) : Json()},
             {"recovery_window_s", secondsOrNull(o.recoveryWindowUs)},
             {"recovery_logins", o.recoveryLogins},
             {"recovery_p99_us", orNull(o.recoveryP99Us)}});
    }
    return list;
}

}  // namespace

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

std::string reportString(std::string_view bytes) {
    if (isUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> directorySettings() {
    const auto variable = [](const char* name, const char* unset) {
        const char* value = std::getenv(name);
        return std::string(value && *value ? value : unset);
    };
    return {{"connect_timeout_ms", variable("QDS_CONNECT_TIMEOUT_MS", "3000 (default)")},
            {"op_timeout_ms", variable("QDS_OP_TIMEOUT_MS", "5000 (default)")},
            {"starttls", variable("QDS_STARTTLS", "off (default)")}};
}

const std::vector<std::string>& controlledOnlyKeys() {
    static const std::vector<std::string> keys = {"stopped_by",
                                                  "logins.indeterminate",
                                                  "logins.packets_sent",
                                                  "logins.handed_again",
                                                  "lag_us",
                                                  "reply_ms",
                                                  "timings",
                                                  "intervals[].indeterminate",
                                                  "intervals[].timed",
                                                  "intervals[].clients",
                                                  "clients",
                                                  "indeterminate",
                                                  "outages",
                                                  "outages_omitted"};
    return keys;
}

namespace {

Json gauge(std::int64_t value) { return value < 0 ? Json() : Json(value); }

// The directory's own view on the run's seconds, or "unavailable" with the reason.
Json directoryJson(const monitor::MonitorState& state, std::size_t seconds) {
    Json d;
    d["uri"] = state.uri;
    if (state.readings.empty()) {
        d["source"] = "unavailable";
        d["reason"] = state.unavailable;
        return d;
    }
    d["source"] = monitor::dialectText(state.dialect);
    d["counts"] = state.dialect == DIRMON_OPS_ENTRY ? "operations" : "binds";
    Json list = Json::array();
    for (const monitor::DirectoryInterval& i : monitor::directoryIntervals(state, seconds)) {
        list.push_back({{"t_s", i.second},
                        {"completed", i.completed ? Json(*i.completed) : Json()},
                        {"connections", gauge(i.connections)},
                        {"read_waiters", gauge(i.readWaiters)},
                        {"write_waiters", gauge(i.writeWaiters)},
                        {"threads", gauge(i.threads)}});
    }
    d["intervals"] = std::move(list);
    const auto completed = state.completedByOthers();
    d["totals"] = {{"completed", completed ? Json(*completed) : Json()},
                   {"monitor_binds", state.ownBindsOverRun()},
                   {"readings", state.readings.size()},
                   {"failed_readings", state.failedReadings}};
    return d;
}

}  // namespace

const std::vector<std::string>& pacedOnlyKeys() {
    static const std::vector<std::string> keys{
        "service_us",         "schedule_lag_us",         "service_percentiles",
        "histograms.service", "histograms.schedule_lag", "load"};
    return keys;
}

std::string reportJson(const RunReport& report) {
    static const LoginLatencies kNoLatencies;
    static const IntervalSeries kNoSeconds;
    static const MessageCounts kNoMessages;
    const LoginLatencies& latencies = report.latencies ? *report.latencies : kNoLatencies;
    const IntervalSeries& intervals = report.intervals ? *report.intervals : kNoSeconds;
    const MessageCounts& messages = report.messages ? *report.messages : kNoMessages;
    const ControlledFigures* controlled = report.controlled ? &*report.controlled : nullptr;
    const double elapsedS = seconds(report.elapsedUs);

    Json r;
    r["report"] = report.program;
    r["format"] = kReportFormat;
    r["users_file"] = reportString(report.usersFile);
    r["started_utc"] = formatUtc(report.startWallMs);
    r["interrupted"] = report.interrupted;
    if (controlled) r["stopped_by"] = controlled->stoppedBy.empty() ? "end of run" : controlled->stoppedBy;
    Json& logins = r["logins"];
    logins["performed"] = report.logins.performed;
    logins["successful"] = report.logins.successful;
    logins["failed"] = report.logins.failed;
    logins["errors"] = report.logins.errors;
    logins["rejected_lines"] = report.logins.rejectedLines;
    if (controlled) {
        logins["indeterminate"] = controlled->indeterminate;
        logins["packets_sent"] = controlled->packetsSent;
        logins["handed_again"] = controlled->handedAgain;
    }
    r["elapsed_s"] = elapsedS;
    r["logins_per_s"] = elapsedS > 0 ? static_cast<double>(report.logins.performed) / elapsedS : 0.0;
    r["latency_us"] = latencyJson(latencies.execute);
    static const LatencyHistogram kNoFigures;
    const PacedFigures* paced = report.paced ? &*report.paced : nullptr;
    const LatencyHistogram& service = paced && paced->serviceUs ? *paced->serviceUs : kNoFigures;
    const LatencyHistogram& scheduleLag = paced && paced->scheduleLagUs ? *paced->scheduleLagUs : kNoFigures;
    if (paced) {
        r["service_us"] = latencyJson(service);
        r["schedule_lag_us"] = latencyJson(scheduleLag);
    }
    r["phases_us"] = phasesJson(latencies);
    if (controlled) {
        static const LatencyHistogram kNone;
        r["lag_us"] = latencyJson(controlled->lagUs ? *controlled->lagUs : kNone);
        r["reply_ms"] = spreadMs(controlled->replyUs ? *controlled->replyUs : kNone);
        r["timings"] = {{"clients_asked", controlled->clientsAsked},
                        {"clients_reporting", controlled->clientsReporting},
                        {"timed_replies", controlled->timedReplies},
                        {"untimed_replies", report.logins.performed - controlled->timedReplies}};
    }
    r["intervals"] = intervalsJson(intervals);
    r["intervals_omitted"] = intervals.secondsOmitted();
    if (report.directory) r["directory"] = directoryJson(*report.directory, r["intervals"].size());
    Json byMessage = Json::object();
    for (const auto& [text, count] : messages.counts()) byMessage[reportString(text)] = count;
    r["errors_by_message"] = std::move(byMessage);
    if (controlled) {
        r["clients"] = clientsJson(controlled->clients);
        r["indeterminate"] = indeterminateJson(controlled->indeterminateLogins);
        r["outages"] = outagesJson(controlled->outages);
        r["outages_omitted"] = controlled->outagesOmitted;
    }
    const HostCounters unread;
    r["host"] = hostJson(report.hostStart ? *report.hostStart : unread,
                         report.hostEnd ? *report.hostEnd : unread);
    Json settings = Json::object();
    for (const auto& [key, value] : report.settings) settings[key] = reportString(value);
    r["settings"] = std::move(settings);
    r["latency_percentiles"] = percentileCurveJson(latencies.execute);
    if (paced) r["service_percentiles"] = percentileCurveJson(service);
    r["histograms"] = histogramsJson(latencies);
    if (paced) {
        r["histograms"]["service"] = service.serializeText();
        r["histograms"]["schedule_lag"] = scheduleLag.serializeText();
        if (paced->load) r["load"] = *paced->load;
    }
    if (report.capacity) r["capacity"] = *report.capacity;
    return r.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace tarrow
