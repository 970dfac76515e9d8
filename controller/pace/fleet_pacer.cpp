#include "controller/pace/fleet_pacer.h"

#include "common/load/load_json.h"
#include "common/report_text.h"

#include <algorithm>
#include <cstdio>

namespace tarrow::ctrl {

void FleetPacer::start(std::int64_t nowUs) {
    if (schedule_) return;
    schedule_.emplace(plan_, nowUs);
    timeline_ = load::LoadTimeline(nowUs);
    // The clients connected before the start count in its first second.
    clients(nowUs, pacedNow_, unpacedNow_);
}

std::optional<std::int64_t> FleetPacer::nextDueUs() {
    if (!schedule_ || scheduleOver_) return std::nullopt;
    if (!next_) next_ = schedule_->take(0);
    if (!next_) {
        scheduleOver_ = true;
        return std::nullopt;
    }
    return next_->dueUs;
}

PacedLease FleetPacer::take(std::int64_t freeUs, std::int64_t sentUs) {
    PacedLease lease{next_->dueUs, freeUs, sentUs};
    next_.reset();
    ++taken_;
    ++outstanding_;
    if (!lease.waited()) controllerLag_.record(lease.sentUs - lease.dueUs);
    if (lease.waited()) {
        ++waited_;
        ++secondAt(lease.dueUs).waited;
    }
    if (const std::int64_t waitUs = lease.freeUs - lease.dueUs; waitUs >= kStallUs) {
        // A login due while an earlier one still waited belongs to the same stall.
        if (!stalls_.empty() && lease.dueUs <= stalls_.back().toUs) {
            Stall& stall = stalls_.back();
            stall.toUs = std::max(stall.toUs, lease.freeUs);
            ++stall.logins;
            stall.longestWaitUs = std::max(stall.longestWaitUs, waitUs);
        } else if (stalls_.size() < kMaxStalls) {
            stalls_.push_back({lease.dueUs, lease.freeUs, 1, waitUs});
        }
    }
    return lease;
}

load::LoginTimes pacedLoginTimes(const PacedLease& lease, const timings::LoginTimings* t,
                                 std::int64_t replyEndUs) {
    load::LoginTimes times{lease.dueUs, lease.freeUs, lease.sentUs, replyEndUs};
    if (t && t->lagUs >= 0 && t->executeUs >= 0) {
        times.startUs = lease.sentUs + t->lagUs;
        times.endUs = times.startUs + t->executeUs;
    }
    return times;
}

std::uint64_t FleetPacer::endSchedule(std::int64_t nowUs) {
    std::uint64_t dropped = 0;
    for (auto due = nextDueUs(); due && *due <= nowUs; due = nextDueUs()) {
        next_.reset();
        ++dropped;
    }
    next_.reset();
    scheduleOver_ = true;
    return dropped;
}

void FleetPacer::ended(const PacedLease& lease, const timings::LoginTimings* t, std::int64_t replyEndUs) {
    if (outstanding_) --outstanding_;
    const load::LoginTimes times = pacedLoginTimes(lease, t, replyEndUs);
    timeline_.add(times);
    latencies_.record(times.latencyUs(), t ? t->phases : PhaseTimings{});
}

void FleetPacer::lost(const PacedLease&) {
    if (outstanding_) --outstanding_;
    ++lost_;
}

void FleetPacer::clients(std::int64_t nowUs, std::size_t paced, std::size_t unpaced) {
    pacedNow_ = paced;
    unpacedNow_ = unpaced;
    pacedMost_ = std::max(pacedMost_, paced);
    unpacedMost_ = std::max(unpacedMost_, unpaced);
    if (!schedule_) return;
    Second& s = secondAt(nowUs);
    s.pacedClients = std::max(s.pacedClients, paced);
}

void FleetPacer::unpacedReply(std::int64_t executeUs) {
    ++unpacedReplies_;
    if (executeUs >= 0) unpacedExecute_.record(executeUs);
}

FleetPacer::Second& FleetPacer::secondAt(std::int64_t us) {
    const auto second = static_cast<std::size_t>(
        std::max<std::int64_t>(0, (us - timeline_.startUs()) / 1'000'000));
    // A second that saw no change of clients has as many as the one before.
    while (seconds_.size() <= second) seconds_.push_back({pacedNow_, 0});
    return seconds_[second];
}

std::optional<load::RateHeld> FleetPacer::rateHeld(std::int64_t untilUs) const {
    if (!schedule_) return std::nullopt;
    const auto end = schedule_->endUs();
    const std::int64_t until = std::min(untilUs, end ? *end : untilUs);
    return timeline_.rateHeld(*schedule_, closedAtUs_ ? std::min(until, *closedAtUs_) : until);
}

nlohmann::ordered_json FleetPacer::loadJson(std::int64_t untilUs) const {
    const load::LoadSchedule schedule = schedule_ ? *schedule_ : load::LoadSchedule(plan_, 0);
    nlohmann::ordered_json load = load::loadJson(plan_, timeline_, schedule, rateHeld(untilUs));
    load["workers"] = pacedMost_;  // the paced clients are the run's workers
    auto& seconds = load["seconds"];
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const Second s = i < seconds_.size() ? seconds_[i] : Second{pacedNow_, 0};
        seconds[i]["clients"] = s.pacedClients;
        seconds[i]["waited"] = s.waited;
    }
    const double waitedPct = taken_ ? static_cast<double>(waited_) * 100.0 / static_cast<double>(taken_) : 0.0;
    nlohmann::ordered_json stalls = nlohmann::ordered_json::array();
    const auto sinceStart = [&](std::int64_t us) {
        return static_cast<double>(us - timeline_.startUs()) / 1e6;
    };
    for (const Stall& s : stalls_) {
        stalls.push_back({{"from_t_s", sinceStart(s.fromUs)},
                          {"to_t_s", sinceStart(s.toUs)},
                          {"logins", s.logins},
                          {"longest_wait_us", s.longestWaitUs}});
    }
    load["stalls"] = stalls;
    load["fleet"] = {{"paced_clients_most", pacedMost_},
                     {"logins_taken", taken_},
                     {"waited_for_client", waited_},
                     {"waited_pct", waitedPct},
                     {"large_enough", !fleetTooSmall()},
                     {"indeterminate", lost_},
                     {"controller_lag_p99_us", controllerLag_.count()
                                                   ? nlohmann::ordered_json(controllerLag_.percentile(0.99))
                                                   : nlohmann::ordered_json()},
                     {"unpaced_clients_most", unpacedMost_},
                     {"unpaced_replies", unpacedReplies_},
                     {"unpaced_execute_p50_us", unpacedExecute_.count()
                                                    ? nlohmann::ordered_json(unpacedExecute_.percentile(0.50))
                                                    : nlohmann::ordered_json()}};
    return load;
}

std::string FleetPacer::summaryText(std::int64_t untilUs) const {
    const bool oneRate = plan_.curve.size() == 1 && plan_.curve[0].seconds >= load::kMaxStepSeconds;
    char rate[64];
    std::snprintf(rate, sizeof rate, "%g/s", plan_.curve.empty() ? 0.0 : plan_.curve[0].perSecond);
    std::string out = "  pace:              " + (oneRate ? std::string(rate) : load::curveText(plan_.curve)) +
                      (plan_.arrivals == load::ArrivalKind::Poisson ? ", poisson arrivals" : ", even arrivals") +
                      "; " + std::to_string(pacedMost_) + " paced clients at most, " +
                      std::to_string(unpacedMost_) + " not paced (" + std::to_string(unpacedReplies_) +
                      " replies of theirs, apart)\n";
    out += "  paced logins:      " + std::to_string(taken_) + " handed out, " +
           std::to_string(timeline_.latency().count()) + " replied, " + std::to_string(lost_) +
           " indeterminate\n";
    if (timeline_.latency().count()) out += "  paced times:       " + load::figuresText(timeline_) + "\n";
    if (const auto held = rateHeld(untilUs)) out += "  rate held:         " + held->text() + "\n";
    char verdict[160];
    const double pct = taken_ ? static_cast<double>(waited_) * 100.0 / static_cast<double>(taken_) : 0.0;
    std::snprintf(verdict, sizeof verdict, "%s: %llu of %llu logins (%.2f %%) waited for a free client",
                  fleetTooSmall() ? "too small for the rate" : "large enough",
                  static_cast<unsigned long long>(waited_), static_cast<unsigned long long>(taken_), pct);
    out += "  fleet:             " + std::string(verdict) + "\n";
    if (controllerLag_.count())
        out += "  controller lag:    p50 " + formatMs(controllerLag_.percentile(0.50)) + " ms p99 " +
               formatMs(controllerLag_.percentile(0.99)) + " ms max " + formatMs(controllerLag_.max()) +
               " ms (due to packet sent, a client free)\n";
    for (const Stall& s : stalls_) {
        char line[200];
        std::snprintf(
            line, sizeof line,
            "  stalled:           %.1f s to %.1f s: no paced client free, %llu logins waited up to %s ms\n",
            static_cast<double>(s.fromUs - timeline_.startUs()) / 1e6,
            static_cast<double>(s.toUs - timeline_.startUs()) / 1e6,
            static_cast<unsigned long long>(s.logins), formatMs(s.longestWaitUs).c_str());
        out += line;
    }
    out += "  per second:        due / started / ended, paced clients\n";
    const auto& counts = timeline_.seconds();
    for (std::size_t i = 0; i < counts.size(); ++i) {
        const std::size_t clientsThen = i < seconds_.size() ? seconds_[i].pacedClients : pacedNow_;
        char line[128];
        std::snprintf(line, sizeof line, "    %4zu s  %llu / %llu / %llu, %zu\n", i,
                      static_cast<unsigned long long>(counts[i].due),
                      static_cast<unsigned long long>(counts[i].started),
                      static_cast<unsigned long long>(counts[i].ended), clientsThen);
        out += line;
    }
    return out;
}

}  // namespace tarrow::ctrl
