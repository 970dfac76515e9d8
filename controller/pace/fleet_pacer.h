// The controller's side of a fleet run at a chosen rate: the schedule of due times (the batch
// run's, common/load), which login goes out next and when, and what the paced logins did.
// The engine hands each due login to the paced client that has been free longest, so that
// the logins go round the free workstations; when none is free the login waits, and the
// wait is part of its latency. Plain C++ on the controller's monotonic clock: no client's
// clock is ever compared with it, only the spans a client measured are added to it.
#pragma once

#include "common/load/load_schedule.h"
#include "common/load/load_timeline.h"
#include "common/timings_extension.h"
#include "report/model/run_report.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarrow::ctrl {

// One paced login on the controller's clock, in microseconds.
struct PacedLease {
    std::int64_t dueUs = 0;
    std::int64_t freeUs = 0;                        // when the client it went to was free
    std::int64_t sentUs = 0;                        // its credential packet sent
    bool waited() const { return freeUs > dueUs; }  // no client was free when it was due
};

// A paced login's times: its packet's lag and its login as its client measured them, added to
// the packet sent; a reply without them is timed from the packet sent to the reply's end.
load::LoginTimes pacedLoginTimes(const PacedLease& lease, const timings::LoginTimings* t,
                                 std::int64_t replyEndUs);

class FleetPacer {
public:
    explicit FleetPacer(load::LoadPlan plan) : plan_(std::move(plan)) {}

    // The schedule starts when the first client accepts pacing; later calls change nothing.
    void start(std::int64_t nowUs);
    bool started() const { return schedule_.has_value(); }
    // The next login's due time; nothing before the start and after the schedule's end.
    std::optional<std::int64_t> nextDueUs();
    // Takes the next login (nextDueUs() must have given one) for a client free since freeUs,
    // its packet sent at sentUs.
    PacedLease take(std::int64_t freeUs, std::int64_t sentUs);
    // The schedule has no login left, and none is out.
    bool finished() { return started() && !nextDueUs() && outstanding_ == 0; }
    // Ends the schedule at nowUs (a capacity search's step that has been decided): no login is
    // due any more, and those due by then that no client took are dropped. Returns how many.
    std::uint64_t endSchedule(std::int64_t nowUs);
    // Logins handed out and not yet back.
    std::uint64_t outstanding() const { return outstanding_; }

    // No login due from dueUs on goes out (--count holds them back): the rate is judged
    // only before it. The first call counts.
    void closeAt(std::int64_t dueUs) {
        if (!closedAtUs_) closedAtUs_ = dueUs;
    }
    // A paced login's reply: its span from the packet to its start is the client's lag, its
    // service the client's login time. A reply without them is timed from the packet sent to
    // the reply's last byte.
    void ended(const PacedLease& lease, const timings::LoginTimings* t, std::int64_t replyEndUs);
    // A paced login without a reply (its client went away or was dropped): indeterminate.
    void lost(const PacedLease& lease);
    // Clients that accepted pacing, and those that did not, connected now.
    void clients(std::int64_t nowUs, std::size_t paced, std::size_t unpaced);
    // A reply from a client that does not take part in pacing (its logins keep its own delays).
    void unpacedReply(std::int64_t executeUs);

    std::uint64_t taken() const { return taken_; }
    std::uint64_t waited() const { return waited_; }
    std::uint64_t lostLogins() const { return lost_; }
    // The fleet was too small for the rate: logins waited for a free client in more than 1 %.
    bool fleetTooSmall() const { return waited_ * 100 > taken_; }
    const load::LoadTimeline& timeline() const { return timeline_; }
    // The controller's own lag: from due to packet sent, over the logins a client was free for.
    const LatencyHistogram& controllerLag() const { return controllerLag_; }
    const LoginLatencies& latencies() const { return latencies_; }
    const load::LoadPlan& plan() const { return plan_; }

    // The report's "load" section: the batch run's, each second with its paced clients and
    // logins that waited, and "fleet" with the verdict and the clients that were not paced.
    // untilUs: when the run stopped taking logins.
    nlohmann::ordered_json loadJson(std::int64_t untilUs) const;
    // The summary's lines, each starting with two blanks and ending with a line feed.
    std::string summaryText(std::int64_t untilUs) const;

    // A span in which logins were due and no paced client was free for at least kStallUs: a
    // stalled directory holds every client, and the logins due meanwhile wait.
    static constexpr std::int64_t kStallUs = 1'000'000;
    static constexpr std::size_t kMaxStalls = 100;
    struct Stall {
        std::int64_t fromUs = 0;  // the first waiting login's due time
        std::int64_t toUs = 0;    // a client free again for the last of them
        std::uint64_t logins = 0;
        std::int64_t longestWaitUs = 0;
    };
    const std::vector<Stall>& stalls() const { return stalls_; }

private:
    struct Second {
        std::size_t pacedClients = 0;  // the most connected in the second
        std::uint64_t waited = 0;      // logins due in it that waited for a free client
    };
    Second& secondAt(std::int64_t us);
    std::optional<load::RateHeld> rateHeld(std::int64_t untilUs) const;

    load::LoadPlan plan_;
    std::optional<load::LoadSchedule> schedule_;
    std::optional<load::Slot> next_;  // peeked, not yet taken
    bool scheduleOver_ = false;
    load::LoadTimeline timeline_{0};
    LoginLatencies latencies_;
    std::vector<Second> seconds_;
    std::size_t pacedNow_ = 0, pacedMost_ = 0, unpacedNow_ = 0, unpacedMost_ = 0;
    std::uint64_t taken_ = 0, waited_ = 0, lost_ = 0, outstanding_ = 0, unpacedReplies_ = 0;
    LatencyHistogram unpacedExecute_;
    LatencyHistogram controllerLag_;  // due to packet sent, for a client that was free when due
    std::optional<std::int64_t> closedAtUs_;
    std::vector<Stall> stalls_;
};

}  // namespace tarrow::ctrl
