// The controller's control-channel logic: deals credential packets out to the connected
// clients one at a time, takes their replies, drops clients that misbehave, and stops at
// the given count or time. Plain C++ over ControlLink and CtrlClock; one thread.
//
// Every credential packet is a lease on one users-file line. A lease ends with the reply,
// or without one when the client goes away, is dropped or the run stops: that login is
// indeterminate. Its credential goes out once more with the next packet, unless the lease
// was itself such a second one or the run stopped, so that a line whose login takes clients
// down is not handed from client to client without end.
//
// Unless --no-timings, each connection is first sent the timings request; the first
// credential packet follows the acceptance, or --timings-wait-ms without one.
#pragma once

#include "controller/core/control_link.h"
#include "controller/core/ctrl_clock.h"
#include "controller/core/credential_store.h"
#include "controller/core/ctrl_settings.h"
#include "controller/core/run_stats.h"
#include "controller/pace/fleet_pacer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarrow::ctrl {

// Sees the paced logins of a capacity search's step (ControlEngine::startPaceStep).
class PacedLoginWatch {
public:
    virtual ~PacedLoginWatch() = default;
    // A paced login of the current step replied: its times on the controller's clock, the
    // client's timings (null without), and whether the login succeeded.
    virtual void pacedEnded(const load::LoginTimes& times, const timings::LoginTimings* t, bool succeeded) = 0;
    // A paced login of the current step ended without a reply (its client went away).
    virtual void pacedLost(const PacedLease& lease) = 0;
};

class ControlEngine {
public:
    using SessionId = std::uint64_t;  // 0 is never a session
    using NoticeFn = std::function<void(const std::string& line)>;

    // credentials must not be empty. sink may be null. notice receives one line per event
    // worth telling the operator (drops, refusals, stop), at most 20 a second.
    ControlEngine(const CtrlSettings& settings, CredentialStore credentials, CtrlClock& clock,
                  RunStats& stats, ReplySink* sink, NoticeFn notice);
    ~ControlEngine();
    ControlEngine(const ControlEngine&) = delete;
    ControlEngine& operator=(const ControlEngine&) = delete;

    // A client connected from peer ("address:port"). Sends its first packet at once.
    // Returns 0 when the connection is refused; the caller then closes it.
    SessionId connected(ControlLink& link, std::string peer);
    // Bytes read from the connection (any number, any content).
    void received(SessionId id, std::string_view bytes);
    // The client closed the connection, or it failed. Unknown ids are ignored.
    void disconnected(SessionId id);
    // Ends quiet periods, drops clients past the reply time-out, stops at --duration.
    // Call it often (every few milliseconds); cost is proportional to what is due.
    void poll();
    // Stops the run: no more packets, every connection closed. Idempotent.
    void stop(const std::string& reason);

    bool stopped() const { return stopped_; }
    const std::string& stopReason() const { return stopReason_; }
    bool accepting() const { return !stopped_ && sessions_.size() < settings_.maxClients; }
    std::size_t clientCount() const { return sessions_.size(); }
    std::int64_t startUs() const { return startUs_; }
    // With a rate (--rate, --rate-file): the pacing and its figures; null without.
    const FleetPacer* pacer() const { return pacer_.get(); }
    std::size_t pacedClientCount() const { return pacedClients_; }

    // A capacity search paces in steps (CtrlSettings::pacedInSteps): no login is due before
    // the first step. Starts a step now: a fresh schedule of plan for the paced clients,
    // connected and to come. A login of an earlier step still out ends without counting in it.
    void startPaceStep(load::LoadPlan plan);
    // Ends the step's schedule now: no login is due any more, and those due that no client
    // took are dropped (returned). The logins out still end in the step.
    std::uint64_t endPaceStep();
    // The step's paced logins go to watch as well (null: to none).
    void watchPacedLogins(PacedLoginWatch* watch) { pacedWatch_ = watch; }

private:
    // Free: a paced client waiting for its next due login (with a rate only).
    enum class State { Negotiating, Idle, Awaiting, Collecting, Free };
    struct Session;
    using Queue = std::list<Session*>;
    struct Session {
        SessionId id = 0;
        ControlLink* link = nullptr;
        std::string peer;
        State state = State::Idle;
        std::string reply;           // bytes of the outstanding packet's reply so far
        std::size_t credential = 0;  // index of the outstanding packet's credential
        bool secondLease = false;    // the credential went out before and ended indeterminate
        std::int64_t sentUs = 0;     // the packet sent; while negotiating, the request sent
        std::int64_t lastByteUs = 0;
        TimingsSupport timings = TimingsSupport::NotAsked;
        std::size_t acceptanceBytes = 0;  // of the acceptance received so far
        Queue::iterator pos;              // place in the queue of its state
        ClientCounts* counts = nullptr;   // its entry in stats_, from its first record on
        // Pacing (with a rate): asked, accepted, the acceptance's bytes so far, the lease.
        bool scheduleAsked = false;
        bool paced = false;
        std::size_t scheduleBytes = 0;
        bool leasePaced = false;      // the outstanding packet is a paced login
        std::uint64_t leaseStep = 0;  // ... of this pace step (startPaceStep)
        PacedLease lease;
        std::int64_t freeUs = 0;
    };

    Queue& queueOf(State state);
    void moveTo(Session& s, State state);
    bool packetAllowed() const;
    void sendNext(Session& s);
    void sendFirst(Session& s);
    bool takeAcceptance(Session& s, std::string_view& bytes);
    // Takes the part of an extension's acceptance at the front of bytes off them (got counts
    // its bytes so far). true when the whole acceptance is in; otherwise goOn says whether
    // bytes still hold something to read (a client whose bytes are wrong is dropped).
    bool acceptanceWhole(Session& s, std::string_view acceptance, std::size_t& got, std::string_view& bytes,
                         bool& goOn);
    void finishReply(Session& s, bool sendAnother);
    void drop(Session& s, DropReason reason);
    void forget(Session& s, LeaseEnd why);
    void endLease(Session& s, LeaseEnd why);
    void refillIdle();
    ClientCounts* countsOf(Session& s);
    void notice(const std::string& line);
    // Pacing (engine_pacing.cpp).
    bool takeScheduleAcceptance(Session& s, std::string_view& bytes);
    void becomeFree(Session& s);
    void dispatchDue();
    void pacedReplied(Session& s, const timings::LoginTimings* t, bool succeeded);
    void pacedLost(Session& s);
    void countPacedClients();
    std::int64_t sinceStartUs() const { return clock_.monotonicUs() - startUs_; }

    CtrlSettings settings_;
    CredentialStore credentials_;
    CtrlClock& clock_;
    RunStats& stats_;
    ReplySink* sink_;
    NoticeFn noticeFn_;
    std::unordered_map<SessionId, std::unique_ptr<Session>> sessions_;
    Queue negotiating_;  // timings request sent, acceptance not yet in; ordered by sentUs
    Queue idle_;         // connected, waiting for a packet (only while --count holds packets back)
    Queue awaiting_;     // packet sent, no reply byte yet; ordered by sentUs
    Queue collecting_;   // part of a reply arrived, waiting for the quiet period; ordered by lastByteUs
    Queue free_;         // paced clients without a login, the longest free first
    std::unique_ptr<FleetPacer> pacer_;
    std::uint64_t paceStep_ = 0;  // steps started by startPaceStep
    PacedLoginWatch* pacedWatch_ = nullptr;
    std::size_t pacedClients_ = 0;
    std::size_t nextCredential_ = 0;
    std::deque<std::size_t> handAgain_;  // credentials of indeterminate leases, next out first
    SessionId nextId_ = 1;
    std::int64_t startUs_ = 0;
    bool stopped_ = false;
    std::string stopReason_;
    std::int64_t noticeWindowUs_ = 0;
    int noticesInWindow_ = 0;
    std::uint64_t noticesSuppressed_ = 0;
};

}  // namespace tarrow::ctrl
