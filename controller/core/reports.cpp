#include "controller/core/reports.h"

#include <cinttypes>
#include <cstdio>

namespace tarrow::ctrl {

const char* outcomeText(ReplyKind kind) {
    switch (kind) {
    case ReplyKind::Success: return "success";
    case ReplyKind::Failed: return "failed";
    case ReplyKind::Error: return "error";
    }
    return "?";
}

std::string csvHeader() { return "time,client,user,outcome,code,message,reply_ms\r\n"; }

void appendCsvRow(std::string& out, const ReplyRecord& r) {
    out += formatUtc(r.wallMs);
    out += ',';
    out += csvField(r.client);
    out += ',';
    out += csvField(r.user);
    out += ',';
    out += outcomeText(r.kind);
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

// A client's error text on one summary line: control bytes (a line end, an escape sequence
// sent to the terminal) are shown as \xNN instead of being written out.
std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            out += c;
            continue;
        }
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\x%02X", byte);
        out += buf;
    }
    return out;
}

}  // namespace

void writeSummary(std::ostream& out, const RunStats& s, std::int64_t elapsedUs,
                  const std::string& stopReason) {
    const std::uint64_t replies = s.replies();
    const double seconds = static_cast<double>(elapsedUs) / 1e6;
    auto pct = [](std::uint64_t part, std::uint64_t whole) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f %%", whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
        return std::string(buf);
    };
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.1f", seconds > 0 ? static_cast<double>(replies) / seconds : 0.0);

    out << "TarrowCtrl summary\n";
    out << "  stopped by:        " << (stopReason.empty() ? "end of run" : stopReason) << "\n";
    out << "  run time:          " << formatMs(elapsedUs / 1000) << " s\n";
    out << "  discovery:         " << s.discoveryReceived << " datagrams received, " << s.discoveryAnswered << " answered\n";
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
    if (!s.errorMessages.empty()) {
        out << "  error messages:\n";
        for (const auto& [text, count] : s.errorMessages) out << "    " << count << "  " << oneLine(text) << "\n";
    }
    if (!s.perClient.empty()) {
        out << "  per client:        ok / failed / error\n";
        for (const auto& [client, c] : s.perClient)
            out << "    " << client << "  " << c.ok << " / " << c.failed << " / " << c.errors << "\n";
    }
}

}  // namespace tarrow::ctrl
