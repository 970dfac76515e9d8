#include "controller/core/reports.h"

#include "common/visible_text.h"

#include <cinttypes>
#include <cstdio>

namespace tarrow::ctrl {

std::string csvHeader() { return "time,client,user,outcome,code,message,reply_ms\r\n"; }

void appendCsvRow(std::string& out, const ReplyRecord& r) {
    out += formatUtc(r.wallMs);
    out += ',';
    out += csvField(r.client);
    out += ',';
    out += csvField(r.user);
    out += ',';
    out += loginOutcomeText(r.kind);
    out += ',';
    if (r.kind != ReplyKind::Error) out += std::to_string(r.code);
    out += ',';
    out += csvField(r.message);
    out += ',';
    out += formatMs(r.replyUs);
    out += "\r\n";
}

std::string ProgressMeter::tick(std::int64_t nowUs, const RunStats& stats, std::size_t clients) {
    if (nowUs - lastUs_ < 1'000'000) return {};
    const std::uint64_t replies = stats.replies();
    const double seconds = static_cast<double>(nowUs - lastUs_) / 1e6;
    const double rate = static_cast<double>(replies - lastReplies_) / seconds;
    lastUs_ = nowUs;
    lastReplies_ = replies;
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "[%6.1f s] clients %zu | sent %" PRIu64 " | replies ok %" PRIu64 " failed %" PRIu64
                  " error %" PRIu64 " | %.1f replies/s",
                  static_cast<double>(nowUs - startUs_) / 1e6, clients, stats.packetsSent, stats.ok,
                  stats.failed, stats.errors, rate);
    return buf;
}

namespace {

// "mean 0.512  p50 0.498  p99 0.911  max 3.020" in ms.
std::string spreadMs(const LatencyHistogram& h) {
    return "mean " + formatMs(static_cast<std::int64_t>(h.mean())) + "  p50 " + formatMs(h.percentile(0.50)) +
           "  p99 " + formatMs(h.percentile(0.99)) + "  max " + formatMs(h.max());
}

// The clients' own measurements, the leases without a reply and the outages.
void writeTimingLines(std::ostream& out, const RunStats& s) {
    const LoginTimingStats& t = s.logins;
    const LatencyHistogram& execute = t.latencies.execute;
    if (execute.count()) {
        out << "  login latency (ms): " << spreadMs(execute) << "  (" << execute.count()
            << " logins timed by the clients)\n";
        out << "  login phases p50 (ms):";
        for (int p = 0; p < kLoginPhaseCount; ++p)
            if (const LatencyHistogram& h = t.latencies.phases[static_cast<std::size_t>(p)]; h.count())
                out << "  " << loginPhaseName(p) << " " << formatMs(h.percentile(0.50));
        out << "\n";
        if (t.lagUs.count()) out << "  event lag (ms):    " << spreadMs(t.lagUs) << "\n";
    } else {
        out << "  login latency (ms): no login timed by the clients\n";
    }
    if (s.clientsAsked)
        out << "  timings:           " << s.clientsReporting << " of " << s.clientsAsked
            << " connections report them, " << s.clientsAsked - s.clientsReporting << " do not\n";
    out << "  indeterminate:     " << s.lostPackets << " logins without a reply (" << s.handedAgain
        << " credentials handed out again)\n";
    for (const IndeterminateLogin& i : s.indeterminateLogins)
        out << "    " << visibleText(i.user) << " at " << i.client << ": " << leaseEndText(i.why)
            << (i.handedAgain ? ", handed out again" : "") << "\n";
    if (s.lostPackets > s.indeterminateLogins.size())
        out << "    (" << s.lostPackets - s.indeterminateLogins.size() << " more not listed)\n";
    for (const Outage& o : s.outages.outages()) {
        out << "  outage:            at " << formatUtc(o.firstFailureWallMs) << ", " << o.failedInRow
            << " unsuccessful replies in a row, ";
        if (o.recoveredUs < 0) {
            out << "not over at the end of the run\n";
            continue;
        }
        out << "logins succeeded again after " << formatMs((o.recoveredUs - o.firstFailureUs) / 1000) << " s";
        if (o.recoveryP99Us >= 0)
            out << ", login p99 " << formatMs(o.recoveryP99Us) << " ms over the next "
                << formatMs(o.recoveryWindowUs / 1000) << " s";
        out << "\n";
    }
}

void writeClientTimingLines(std::ostream& out, const RunStats& s) {
    bool header = false;
    for (const auto& [client, c] : s.perClient) {
        if (!c.timed || !c.timed->executeUs.count()) continue;
        if (!header) out << "  per client timings: login p50 / p99, event lag max (ms)\n";
        header = true;
        out << "    " << client << "  " << formatMs(c.timed->executeUs.percentile(0.50)) << " / "
            << formatMs(c.timed->executeUs.percentile(0.99)) << ", " << formatMs(c.timed->lagMaxUs) << "\n";
    }
}

}  // namespace

void writeSummary(std::ostream& out, const RunStats& s, std::int64_t elapsedUs, const std::string& stopReason) {
    const std::uint64_t replies = s.replies();
    const double seconds = static_cast<double>(elapsedUs) / 1e6;
    auto pct = [](std::uint64_t part, std::uint64_t whole) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f %%",
                      whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
        return std::string(buf);
    };
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", seconds > 0 ? static_cast<double>(replies) / seconds : 0.0);

    out << "TarrowCtrl summary\n";
    out << "  stopped by:        " << (stopReason.empty() ? "end of run" : stopReason) << "\n";
    out << "  run time:          " << formatMs(elapsedUs / 1000) << " s\n";
    out << "  discovery:         " << s.discoveryReceived << " datagrams received, " << s.discoveryAnswered
        << " answered\n";
    out << "  connections:       " << s.connections << " accepted, " << s.refused << " refused, "
        << s.disconnected << " closed by the client, " << s.dropped << " dropped\n";
    if (s.dropped)
        out << "  dropped because:   " << s.droppedNotAReply << " not a reply packet, " << s.droppedUnsolicited
            << " data with no packet outstanding, " << s.droppedTimedOut << " no reply in time\n";
    out << "  packets sent:      " << s.packetsSent << " (" << s.lostPackets << " without a reply)\n";
    out << "  replies:           " << replies << " (" << rate << " per second)\n";
    out << "    success (R1):    " << s.ok << "\n";
    out << "    failed (R-code): " << s.failed << "\n";
    out << "    error (R0 text): " << s.errors << "\n";
    out << "  success rate:      " << pct(s.ok, replies) << "\n";
    out << "  reply time (ms):   mean " << formatMs(static_cast<std::int64_t>(s.replyTimes.mean()))
        << "  p50 " << formatMs(s.replyTimes.percentile(0.50)) << "  p99 "
        << formatMs(s.replyTimes.percentile(0.99)) << "  max " << formatMs(s.replyTimes.max()) << "\n";
    writeTimingLines(out, s);
    if (!s.errorMessages.counts().empty()) {
        out << "  error messages:\n";
        for (const auto& [text, count] : s.errorMessages.counts())
            out << "    " << count << "  " << visibleText(text) << "\n";
    }
    if (!s.perClient.empty()) {
        out << "  per client:        ok / failed / error\n";
        for (const auto& [client, c] : s.perClient)
            out << "    " << client << "  " << c.ok << " / " << c.failed << " / " << c.errors << "\n";
    }
    writeClientTimingLines(out, s);
}

}  // namespace tarrow::ctrl
