#include "controller/core/json_report.h"

#include "common/report_json.h"
#include "common/report_text.h"
#include "controller/core/reports.h"

#include <nlohmann/json.hpp>

namespace tarrow::ctrl {
namespace {

using nlohmann::ordered_json;

// Single-byte text as JSON wants it: every byte a Latin-1 character in UTF-8.
std::string utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const char c : latin1) {
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

ordered_json orNull(std::int64_t value) { return value < 0 ? ordered_json() : ordered_json(value); }

double seconds(std::int64_t us) { return static_cast<double>(us) / 1e6; }

// latencyJson's shape in milliseconds, for the reply time.
ordered_json spreadMs(const LatencyHistogram& h) {
    ordered_json o = latencyJson(h);
    for (const char* key : {"mean", "p50", "p90", "p99", "p999", "max"}) o[key] = o[key].get<double>() / 1e3;
    return o;
}

ordered_json intervals(const IntervalTable& table) {
    ordered_json rows = ordered_json::array();
    std::int64_t second = 0;
    for (const IntervalRow& r : table.rows()) {
        rows.push_back({{"t_s", second++},
                        {"logins", r.logins},
                        {"successful", r.successful},
                        {"failed", r.failed},
                        {"errors", r.errors},
                        {"indeterminate", r.indeterminate},
                        {"timed", r.timed},
                        {"p50_us", orNull(r.p50Us)},
                        {"p90_us", orNull(r.p90Us)},
                        {"p99_us", orNull(r.p99Us)},
                        {"max_us", orNull(r.maxUs)},
                        {"clients", r.clients}});
    }
    return rows;
}

ordered_json clients(const RunStats& s) {
    ordered_json list = ordered_json::array();
    for (const auto& [peer, c] : s.perClient) {
        ordered_json o;
        o["client"] = utf8(peer);
        o["timings"] = timingsSupportText(c.timings);
        o["logins"] = c.ok + c.failed + c.errors;
        o["successful"] = c.ok;
        o["failed"] = c.failed;
        o["errors"] = c.errors;
        o["indeterminate"] = c.indeterminate;
        o["timed"] = c.timedReplies;
        const bool has = c.timed && c.timed->executeUs.count();
        o["p50_us"] = has ? ordered_json(c.timed->executeUs.percentile(0.50)) : ordered_json();
        o["p99_us"] = has ? ordered_json(c.timed->executeUs.percentile(0.99)) : ordered_json();
        const bool lag = c.timed && c.timed->lagCount;
        o["lag_mean_us"] = lag ? ordered_json(c.timed->lagMeanUs()) : ordered_json();
        o["lag_max_us"] = lag ? ordered_json(c.timed->lagMaxUs) : ordered_json();
        list.push_back(std::move(o));
    }
    return list;
}

ordered_json indeterminate(const RunStats& s) {
    ordered_json list = ordered_json::array();
    for (const IndeterminateLogin& i : s.indeterminateLogins)
        list.push_back({{"user", utf8(i.user)},
                        {"client", utf8(i.client)},
                        {"reason", leaseEndText(i.why)},
                        {"t_s", seconds(i.sinceStartUs)},
                        {"time", formatUtc(i.wallMs)},
                        {"held_ms", static_cast<double>(i.heldUs) / 1e3},
                        {"handed_again", i.handedAgain}});
    return list;
}

ordered_json outages(const OutageTracker& tracker) {
    ordered_json list = ordered_json::array();
    for (const Outage& o : tracker.outages()) {
        const bool recovered = o.recoveredUs >= 0;
        list.push_back(
            {{"first_failure_t_s", seconds(o.firstFailureUs)},
             {"first_failure_time", formatUtc(o.firstFailureWallMs)},
             {"first_failure", o.firstCode ? ordered_json("R" + std::to_string(o.firstCode))
                                           : ordered_json(utf8(o.firstMessage))},
             {"failed_in_row", o.failedInRow},
             {"recovered_t_s", recovered ? ordered_json(seconds(o.recoveredUs)) : ordered_json()},
             {"recovered_time", recovered ? ordered_json(formatUtc(o.recoveredWallMs)) : ordered_json()},
             {"duration_s",
              recovered ? ordered_json(seconds(o.recoveredUs - o.firstFailureUs)) : ordered_json()},
             {"recovery_window_s", recovered ? ordered_json(seconds(o.recoveryWindowUs)) : ordered_json()},
             {"recovery_logins", o.recoveryLogins},
             {"recovery_p99_us", orNull(o.recoveryP99Us)}});
    }
    return list;
}

}  // namespace

std::string reportJson(const RunStats& s, const ReportContext& context) {
    ordered_json r;
    const std::uint64_t answered = s.replies();
    r["logins"] = {{"performed", answered},
                   {"successful", s.ok},
                   {"failed", s.failed},
                   {"errors", s.errors},
                   {"rejected_lines", context.rejectedLines},
                   {"indeterminate", s.lostPackets},
                   {"packets_sent", s.packetsSent},
                   {"handed_again", s.handedAgain}};
    r["stopped_by"] = context.stopReason.empty() ? "end of run" : context.stopReason;
    r["started"] = formatUtc(context.startWallMs);
    r["elapsed_s"] = seconds(context.elapsedUs);
    r["logins_per_s"] = context.elapsedUs > 0 ? static_cast<double>(answered) / seconds(context.elapsedUs)
                                              : 0.0;
    r["latency_us"] = latencyJson(s.logins.latencies.execute);
    r["phases_us"] = phasesJson(s.logins.latencies);
    r["lag_us"] = latencyJson(s.logins.lagUs);
    r["latency_percentiles"] = percentileCurveJson(s.logins.latencies.execute);
    r["histograms"] = histogramsJson(s.logins.latencies);
    r["reply_ms"] = spreadMs(s.replyTimes);
    r["timings"] = {{"clients_asked", s.clientsAsked},
                    {"clients_reporting", s.clientsReporting},
                    {"timed_replies", s.logins.timedReplies},
                    {"untimed_replies", answered - s.logins.timedReplies}};
    r["intervals"] = intervals(s.intervals);
    r["intervals_omitted"] = s.intervals.secondsOmitted();
    ordered_json messages = ordered_json::object();
    for (const auto& [text, count] : s.errorMessages) messages[utf8(text)] = count;
    r["errors_by_message"] = std::move(messages);
    r["clients"] = clients(s);
    r["indeterminate"] = indeterminate(s);
    r["outages"] = outages(s.outages);
    r["outages_omitted"] = s.outages.outagesOmitted();
    ordered_json settings = ordered_json::object();
    for (const auto& [key, value] : context.settings) settings[key] = utf8(value);
    r["settings"] = std::move(settings);
    if (context.hostStart && context.hostEnd) r["host"] = hostJson(*context.hostStart, *context.hostEnd);
    return reportText(r);
}

}  // namespace tarrow::ctrl
