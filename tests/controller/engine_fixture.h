// The engine under test with virtual time, in-memory connections and a sink that keeps
// every record.
#pragma once

#include "controller/core/control_engine.h"
#include "tests/controller/ctrl_test_doubles.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace tarrow::ctrl::test {

struct CollectingSink : ReplySink {
    struct Row {
        std::string client, user, message;
        ReplyKind kind;
        std::int32_t code;
        std::int64_t replyUs;
    };
    void onReply(const ReplyRecord& r) override {
        rows.push_back(
            {std::string(r.client), std::string(r.user), std::string(r.message), r.kind, r.code, r.replyUs});
        timings.push_back(r.timings ? *r.timings : timings::LoginTimings{});
        timed.push_back(r.timings != nullptr);
    }
    void onIndeterminate(const LeaseRecord& r) override {
        leases.push_back({std::string(r.client), std::string(r.user), r.why, r.handedAgain});
    }
    struct Lease {
        std::string client, user;
        LeaseEnd why;
        bool handedAgain;
    };
    std::vector<Row> rows;
    std::vector<timings::LoginTimings> timings;
    std::vector<bool> timed;
    std::vector<Lease> leases;
};

class ControlEngineTest : public ::testing::Test {
protected:
    // The plain channel unless a test asks for the timings request.
    void start(CredentialStore users = usersNamed({"u1", "u2", "u3"})) {
        if (!timingsTest) settings.askTimings = false;
        engine = std::make_unique<ControlEngine>(settings, std::move(users), clock, stats, &sink,
                                                 [this](const std::string& l) { notices.push_back(l); });
    }
    struct Client {
        RecordingLink link;
        ControlEngine::SessionId id = 0;
    };
    Client& connect(const std::string& peer) {
        clients.emplace_back();
        clients.back().id = engine->connected(clients.back().link, peer);
        return clients.back();
    }
    void reply(Client& c, std::string_view bytes) { engine->received(c.id, bytes); }

    bool timingsTest = false;
    CtrlSettings settings;
    VirtualClock clock;
    RunStats stats;
    CollectingSink sink;
    std::vector<std::string> notices;
    std::unique_ptr<ControlEngine> engine;
    std::deque<Client> clients;
};

}  // namespace tarrow::ctrl::test
