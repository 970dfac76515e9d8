#include "controller/core/json_report.h"

#include "controller/core/fleet_step_runner.h"
#include "controller/pace/fleet_pacer.h"
#include "report/model/report_writer.h"

namespace tarrow::ctrl {
namespace {

std::optional<std::int64_t> known(std::int64_t v) { return v < 0 ? std::nullopt : std::optional(v); }

ControlledFigures controlledFigures(const RunStats& s, const ReportContext& context) {
    ControlledFigures c;
    c.stoppedBy = context.stopReason;
    c.indeterminate = s.lostPackets;
    c.packetsSent = s.packetsSent;
    c.handedAgain = s.handedAgain;
    c.lagUs = &s.logins.lagUs;
    c.replyUs = &s.replyTimes;
    c.clientsAsked = s.clientsAsked;
    c.clientsReporting = s.clientsReporting;
    c.timedReplies = s.logins.timedReplies;
    for (const auto& [peer, counts] : s.perClient) {
        ControlledFigures::Client client;
        client.client = peer;
        client.timings = timingsSupportText(counts.timings);
        client.successful = counts.ok;
        client.failed = counts.failed;
        client.errors = counts.errors;
        client.indeterminate = counts.indeterminate;
        client.timed = counts.timedReplies;
        if (counts.timed && counts.timed->executeUs.count()) {
            client.p50Us = counts.timed->executeUs.percentile(0.50);
            client.p99Us = counts.timed->executeUs.percentile(0.99);
        }
        if (counts.timed && counts.timed->lagCount) {
            client.lagMeanUs = counts.timed->lagMeanUs();
            client.lagMaxUs = counts.timed->lagMaxUs;
        }
        c.clients.push_back(std::move(client));
    }
    for (const IndeterminateLogin& i : s.indeterminateLogins)
        c.indeterminateLogins.push_back(
            {i.user, i.client, leaseEndText(i.why), i.sinceStartUs, i.wallMs, i.heldUs, i.handedAgain});
    for (const Outage& o : s.outages.outages()) {
        ControlledFigures::Outage out;
        out.firstFailureUs = o.firstFailureUs;
        out.firstFailureWallMs = o.firstFailureWallMs;
        out.firstFailure = o.firstCode ? "R" + std::to_string(o.firstCode) : o.firstMessage;
        out.failedInRow = o.failedInRow;
        if (o.recoveredUs >= 0) {
            out.recoveredUs = o.recoveredUs;
            out.recoveredWallMs = o.recoveredWallMs;
            out.recoveryWindowUs = o.recoveryWindowUs;
        }
        out.recoveryLogins = o.recoveryLogins;
        out.recoveryP99Us = known(o.recoveryP99Us);
        c.outages.push_back(std::move(out));
    }
    c.outagesOmitted = s.outages.outagesOmitted();
    return c;
}

}  // namespace

std::string reportJson(const RunStats& s, const ReportContext& context) {
    RunReport r;
    r.program = "TarrowCtrl";
    r.usersFile = context.usersFile;
    r.startWallMs = context.startWallMs;
    r.elapsedUs = context.elapsedUs;
    r.interrupted = context.interrupted;
    r.logins = {s.replies(), s.ok, s.failed, s.errors, context.rejectedLines};
    r.latencies = &s.logins.latencies;
    r.intervals = &s.intervals;
    r.messages = &s.errorMessages;
    r.settings = context.settings;
    r.hostStart = context.hostStart;
    r.hostEnd = context.hostEnd;
    r.controlled = controlledFigures(s, context);
    r.directory = context.directory;
    // A paced run's latency is timed from when each login was due, as a paced batch run's;
    // the logins of clients that were not paced are counted apart in load.fleet.
    nlohmann::ordered_json load;
    if (context.pacer) {
        load = context.pacer->loadJson(context.pacedUntilUs);
        r.latencies = &context.pacer->latencies();
        r.paced = PacedFigures{&context.pacer->timeline().service(), &context.pacer->timeline().scheduleLag(),
                               &load};
    }
    if (context.capacityLogins) {
        r.latencies = &context.capacityLogins->latencies();
        r.paced = PacedFigures{&context.capacityLogins->service(), &context.capacityLogins->scheduleLag(),
                               nullptr};
    }
    r.capacity = context.capacity;
    return tarrow::reportJson(r);
}

}  // namespace tarrow::ctrl
