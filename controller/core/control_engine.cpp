#include "controller/core/control_engine.h"

#include "common/schedule_extension.h"
#include "common/timings_extension.h"
#include "controller/core/reply_packet.h"
#include "controller/core/timed_reply.h"

#include <utility>

namespace tarrow::ctrl {

namespace {
constexpr int kNoticesPerSecond = 20;
}

ControlEngine::ControlEngine(const CtrlSettings& settings, CredentialStore credentials, CtrlClock& clock,
                             RunStats& stats, ReplySink* sink, NoticeFn notice)
    : settings_(settings),
      credentials_(std::move(credentials)),
      clock_(clock),
      stats_(stats),
      sink_(sink),
      noticeFn_(std::move(notice)),
      startUs_(clock.monotonicUs()) {
    sessions_.reserve(settings_.maxClients);
    if (settings_.pace) pacer_ = std::make_unique<FleetPacer>(*settings_.pace);
}

ControlEngine::~ControlEngine() = default;

ControlEngine::Queue& ControlEngine::queueOf(State state) {
    switch (state) {
    case State::Negotiating: return negotiating_;
    case State::Idle: return idle_;
    case State::Awaiting: return awaiting_;
    case State::Collecting: return collecting_;
    case State::Free: return free_;
    }
    return idle_;
}

// Moves the session to the back of its new state's queue: O(1), no allocation.
void ControlEngine::moveTo(Session& s, State state) {
    Queue& to = queueOf(state);
    to.splice(to.end(), queueOf(s.state), s.pos);
    s.state = state;
}

// With --count, packets beyond those still needed are held back, so that exactly N logins run.
bool ControlEngine::packetAllowed() const {
    if (stopped_ || credentials_.empty()) return false;
    if (settings_.stopAfterReplies == 0) return true;
    const std::uint64_t outstanding = awaiting_.size() + collecting_.size();
    return stats_.replies() + outstanding < settings_.stopAfterReplies;
}

ControlEngine::SessionId ControlEngine::connected(ControlLink& link, std::string peer) {
    if (!accepting()) {
        ++stats_.refused;
        notice("refused " + peer + (stopped_ ? ": stopping" : ": --max-clients reached"));
        return 0;
    }
    auto owned = std::make_unique<Session>();
    Session& s = *owned;
    s.id = nextId_++;
    s.link = &link;
    s.peer = std::move(peer);
    s.reply.reserve(64);
    idle_.push_back(&s);
    s.pos = std::prev(idle_.end());
    sessions_.emplace(s.id, std::move(owned));
    ++stats_.connections;
    stats_.intervals.clients(sinceStartUs(), sessions_.size());
    if (settings_.askTimings) {
        s.timings = TimingsSupport::Asked;
        ++stats_.clientsAsked;
        stats_.recordTimingsSupport(s.peer, s.timings);
        s.sentUs = clock_.monotonicUs();
        moveTo(s, State::Negotiating);
        s.link->send(timings::kRequestPacket);
        return s.id;
    }
    if (packetAllowed()) sendNext(s);
    return s.id;
}

// The end of the negotiation: accepted, or the wait for an acceptance is over.
void ControlEngine::sendFirst(Session& s) {
    if (packetAllowed()) sendNext(s);
    else
        moveTo(s, State::Idle);
}

void ControlEngine::sendNext(Session& s) {
    s.secondLease = !handAgain_.empty();
    if (s.secondLease) {
        s.credential = handAgain_.front();
        handAgain_.pop_front();
        ++stats_.handedAgain;
    } else {
        s.credential = nextCredential_;
        if (++nextCredential_ == credentials_.size()) nextCredential_ = 0;
    }
    s.reply.clear();
    s.sentUs = clock_.monotonicUs();
    moveTo(s, State::Awaiting);
    ++stats_.packetsSent;
    s.link->send(credentials_.packet(s.credential));
}

// The acceptance of the timings request comes before anything else the client sends, and
// begins with a zero byte, which a reply never does. Takes it (or its part) off the front of
// bytes; false when nothing further is to be done with them.
bool ControlEngine::acceptanceWhole(Session& s, std::string_view acceptance, std::size_t& got,
                                    std::string_view& bytes, bool& goOn) {
    goOn = got == 0 && (!s.reply.empty() || bytes.front() != '\0');  // not an acceptance
    if (goOn) return false;
    const std::string_view expected = acceptance.substr(got);
    const std::string_view part = bytes.substr(0, expected.size());
    if (part != expected.substr(0, part.size())) {
        drop(s, DropReason::NotAReply);
        return false;
    }
    got += part.size();
    bytes.remove_prefix(part.size());
    return got == acceptance.size();
}

bool ControlEngine::takeAcceptance(Session& s, std::string_view& bytes) {
    if (bool goOn = false; !acceptanceWhole(s, timings::kAcceptance, s.acceptanceBytes, bytes, goOn))
        return goOn;
    s.timings = TimingsSupport::Reporting;
    ++stats_.clientsReporting;
    stats_.recordTimingsSupport(s.peer, s.timings);
    if (s.state != State::Negotiating) return !bytes.empty();
    // No packet is out yet, so nothing may follow the acceptance.
    if (!bytes.empty()) {
        drop(s, DropReason::Unsolicited);
        return false;
    }
    if (pacer_) {  // a paced run asks for the schedule extension next, within the same wait
        s.scheduleAsked = true;
        s.link->send(schedule::kRequestPacket);
        return false;
    }
    sendFirst(s);
    return false;
}

void ControlEngine::received(SessionId id, std::string_view bytes) {
    const auto it = sessions_.find(id);
    if (it == sessions_.end() || bytes.empty()) return;
    Session& s = *it->second;
    if (s.timings == TimingsSupport::Asked && !takeAcceptance(s, bytes)) return;
    if (s.scheduleAsked && !s.paced && !takeScheduleAcceptance(s, bytes)) return;
    if (s.state == State::Idle || s.state == State::Negotiating || s.state == State::Free)
        return drop(s, DropReason::Unsolicited);
    // A reply still arriving at its deadline is too late, however it trickles in: bytes after
    // the deadline end it (poll() cannot, for a reply that waits for its quiet period), so no
    // reply is ever counted whose last byte came after --reply-timeout.
    const std::int64_t now = clock_.monotonicUs();
    if (now - s.sentUs > settings_.replyTimeoutMs * 1000) return drop(s, DropReason::TimedOut);
    const bool timed = s.timings == TimingsSupport::Reporting;
    if (s.reply.size() + bytes.size() > (timed ? kMaxTimedReplyBytes : kMaxReplyBytes))
        return drop(s, DropReason::NotAReply);
    s.reply.append(bytes);
    s.lastByteUs = now;
    // A timed reply that ends in its line feed is read once, in finishReply, which refuses
    // a malformed one; only a partial one needs classifying here.
    const bool wholeTimed = timed && s.reply.back() == '\n' && s.reply.find('\0') != std::string::npos;
    switch (wholeTimed ? ReplyState::Complete : timed ? timedReplyState(s.reply) : replyState(s.reply)) {
    case ReplyState::Complete: return finishReply(s, true);
    case ReplyState::Invalid: return drop(s, DropReason::NotAReply);
    // A timed reply has its own end, the record's line feed: no quiet period ends it, for a
    // segment can lag behind the one before by more than that period (Nagle, delayed ACK).
    // It waits in the queue of the reply time-out.
    case ReplyState::NeedsQuiet:
        if (!timed) moveTo(s, State::Collecting);
        return;
    }
}

void ControlEngine::finishReply(Session& s, bool sendAnother) {
    Reply reply;
    timings::LoginTimings loginTimings;
    bool timed = false;
    const bool parsed = s.timings == TimingsSupport::Reporting
                          ? parseTimedReply(s.reply, reply, loginTimings, timed)
                          : parseReply(s.reply, reply);
    if (!parsed) return drop(s, DropReason::NotAReply);
    if (s.timings == TimingsSupport::Reporting && !timed) ++stats_.untimedReplies;
    ReplyRecord record;
    record.wallMs = clock_.wallMs();
    record.client = s.peer;
    record.user = credentials_.userName(s.credential);
    record.kind = reply.kind;
    record.code = reply.code;
    record.message = reply.message;
    record.replyUs = s.lastByteUs - s.sentUs;
    record.sinceStartUs = s.lastByteUs - startUs_;
    record.timings = timed ? &loginTimings : nullptr;
    record.counts = countsOf(s);
    stats_.recordReply(record);
    if (sink_) sink_->onReply(record);
    if (pacer_) pacedReplied(s, record.timings, reply.kind == ReplyKind::Success);
    s.reply.clear();
    moveTo(s, State::Idle);
    if (settings_.stopAfterReplies && stats_.replies() >= settings_.stopAfterReplies) {
        stop("--count " + std::to_string(settings_.stopAfterReplies) + " replies reached");
        return;
    }
    if (sendAnother && s.paced) return becomeFree(s);
    if (sendAnother && packetAllowed()) sendNext(s);
}

void ControlEngine::drop(Session& s, DropReason reason) {
    stats_.recordDrop(reason);
    notice("dropped " + s.peer + ": " + dropReasonText(reason));
    ControlLink* link = s.link;
    forget(s, reason == DropReason::TimedOut ? LeaseEnd::TimedOut : LeaseEnd::NotAReply);
    link->close();
    refillIdle();
}

void ControlEngine::disconnected(SessionId id) {
    const auto it = sessions_.find(id);
    if (it == sessions_.end()) return;
    Session& s = *it->second;
    ++stats_.disconnected;
    // A client may send an error reply and close at once: the reply still counts.
    if (s.state == State::Collecting || (s.state == State::Awaiting && !s.reply.empty())) {
        Reply reply;
        timings::LoginTimings ignored;
        bool timed = false;
        const bool whole = s.timings == TimingsSupport::Reporting
                             ? parseTimedReply(s.reply, reply, ignored, timed)
                             : parseReply(s.reply, reply);
        if (whole) finishReply(s, false);
        if (stopped_) return;  // the last reply stopped the run and forgot every session
    }
    forget(s, LeaseEnd::ConnectionClosed);
    refillIdle();
}

// A lease that ends without a reply: the login is indeterminate, never a success or failure.
void ControlEngine::endLease(Session& s, LeaseEnd why) {
    if (s.leasePaced) pacedLost(s);
    LeaseRecord record;
    record.wallMs = clock_.wallMs();
    record.sinceStartUs = sinceStartUs();
    record.client = s.peer;
    record.user = credentials_.userName(s.credential);
    record.why = why;
    record.heldUs = clock_.monotonicUs() - s.sentUs;
    record.handedAgain = !s.secondLease && why != LeaseEnd::RunStopped;
    record.counts = countsOf(s);
    if (record.handedAgain) handAgain_.push_back(s.credential);
    stats_.recordIndeterminate(record);
    if (sink_) sink_->onIndeterminate(record);
}

// Removes the session; a packet it still owed a reply for ends its lease.
void ControlEngine::forget(Session& s, LeaseEnd why) {
    if (s.state == State::Awaiting || s.state == State::Collecting) endLease(s, why);
    queueOf(s.state).erase(s.pos);
    if (s.paced) --pacedClients_;
    sessions_.erase(s.id);
    stats_.intervals.clients(sinceStartUs(), sessions_.size());
    if (pacer_) countPacedClients();
}

// The per-client entry is looked up once per session, not with every reply.
ClientCounts* ControlEngine::countsOf(Session& s) {
    if (!s.counts) s.counts = &stats_.clientEntry(s.peer);
    return s.counts;
}

// Packets held back by --count go to waiting clients once a lost packet frees one.
void ControlEngine::refillIdle() {
    while (!idle_.empty() && packetAllowed()) sendNext(*idle_.front());
}

void ControlEngine::poll() {
    if (stopped_) return;
    if (pacer_) dispatchDue();
    const std::int64_t now = clock_.monotonicUs();
    const std::int64_t quietUs = settings_.replyQuietMs * 1000;
    while (!collecting_.empty() && collecting_.front()->lastByteUs + quietUs <= now) {
        finishReply(*collecting_.front(), true);
        if (stopped_) return;
    }
    const std::int64_t waitUs = settings_.timingsWaitMs * 1000;
    while (!negotiating_.empty() && negotiating_.front()->sentUs + waitUs <= now) {
        sendFirst(*negotiating_.front());
    }
    const std::int64_t timeoutUs = settings_.replyTimeoutMs * 1000;
    while (!awaiting_.empty() && awaiting_.front()->sentUs + timeoutUs <= now)
        drop(*awaiting_.front(), DropReason::TimedOut);
    if (settings_.stopAfterMs && now - startUs_ >= settings_.stopAfterMs * 1000)
        stop("--duration " + std::to_string(settings_.stopAfterMs / 1000) + " s reached");
}

void ControlEngine::stop(const std::string& reason) {
    if (stopped_) return;
    stopped_ = true;
    stopReason_ = reason;
    notice("stopping: " + reason);
    // Forget every session first, so that close reports during the loop find nothing.
    std::vector<ControlLink*> links;
    links.reserve(sessions_.size());
    for (auto& [id, s] : sessions_) {
        if (s->state == State::Awaiting || s->state == State::Collecting) endLease(*s, LeaseEnd::RunStopped);
        links.push_back(s->link);
    }
    negotiating_.clear();
    idle_.clear();
    awaiting_.clear();
    collecting_.clear();
    free_.clear();
    sessions_.clear();
    pacedClients_ = 0;
    stats_.intervals.clients(sinceStartUs(), 0);
    for (ControlLink* link : links) link->close();
}

void ControlEngine::notice(const std::string& line) {
    if (!noticeFn_) return;
    const std::int64_t now = clock_.monotonicUs();
    if (now - noticeWindowUs_ >= 1'000'000) {
        if (noticesSuppressed_)
            noticeFn_("(" + std::to_string(noticesSuppressed_) + " more notices not shown)");
        noticeWindowUs_ = now;
        noticesInWindow_ = 0;
        noticesSuppressed_ = 0;
    }
    if (noticesInWindow_ < kNoticesPerSecond || line.rfind("stopping", 0) == 0) {
        ++noticesInWindow_;
        noticeFn_(line);
    } else {
        ++noticesSuppressed_;
    }
}

}  // namespace tarrow::ctrl
