// The capacity search over a fleet, in virtual time: paced clients in memory that run each
// credential packet at once against a simulated directory of known capacity (C servers of S
// us each, shared by the whole fleet), and the engine's steps underneath (a fresh schedule
// per step, logins of an earlier step left out, the schedule ended when a step is decided).
#include "common/capacity/capacity_json.h"
#include "common/capacity/capacity_text.h"
#include "common/schedule_extension.h"
#include "controller/core/ctrl_settings.h"
#include "controller/core/fleet_step_runner.h"
#include "controller/core/json_report.h"

#include "tests/controller/engine_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

namespace tarrow::ctrl::test {
namespace {

using namespace std::string_literals;
using capacity::Outcome;

constexpr std::int64_t kTurnUs = 250;  // one pass of the event loop

std::string timedReply(std::int64_t executeUs, bool succeeded = true) {
    return (succeeded ? "R1"s : "R-669"s) + "\0e="s + std::to_string(executeUs) + " l=0\n";
}

// A fleet of paced clients in memory: each runs a credential packet the moment it arrives, on
// the server of the directory free first, and replies when the server is done.
class FleetCapacityTest : public ControlEngineTest {
protected:
    void SetUp() override { timingsTest = true; }

    void startFleet(int servers, std::int64_t serviceUs, int clientCount, double fromPerSecond = 10) {
        serverFreeUs_.assign(static_cast<std::size_t>(servers), 0);
        serviceUs_ = serviceUs;
        search.objective = *capacity::parseObjective("p99<=10ms").objective;
        search.fromPerSecond = fromPerSecond;
        settings.capacity = search;
        load::LoadPlan plan;
        plan.curve = {{fromPerSecond, load::kMaxStepSeconds}};
        settings.pace = plan;
        start(usersNamed({"u1", "u2", "u3", "u4", "u5", "u6", "u7", "u8"}));
        for (int i = 0; i < clientCount; ++i) join();
    }
    // A client that accepts both extensions.
    void join() {
        Client& c = connect("10.0.0." + std::to_string(clients.size() + 1) + ":1");
        reply(c, std::string(timings::kAcceptance));
        reply(c, std::string(schedule::kAcceptance));
        sims_.resize(clients.size());
    }
    FleetStepRunner& runner(std::size_t clientsFirst = 1) {
        runner_ = std::make_unique<FleetStepRunner>(
            *engine, clock, clientsFirst, [this] { turn(); },
            [this](const std::string& l) { told.push_back(l); });
        return *runner_;
    }
    void turn() {
        clock.nowUs += kTurnUs;
        engine->poll();
        for (std::size_t i = 0; i < clients.size(); ++i) serve(i);
        if (onTurn) onTurn();
    }
    // Its reply when the server is done, then any packet that came: the login starts at once.
    void serve(std::size_t i) {
        Client& c = clients[i];
        Sim& sim = sims_[i];
        if (sim.endUs >= 0 && clock.nowUs >= sim.endUs) {
            const std::int64_t executeUs = sim.endUs - sim.startUs;
            sim.endUs = -1;
            if (!holdReplies) reply(c, timedReply(executeUs, !failLogins));
            else
                held.emplace_back(&c, timedReply(executeUs));
        }
        for (; sim.seen < c.link.sent.size(); ++sim.seen) {
            if (c.link.sent[sim.seen].front() != 'U') continue;
            auto server = std::min_element(serverFreeUs_.begin(), serverFreeUs_.end());
            sim.startUs = clock.nowUs;
            *server = std::max(clock.nowUs, *server) + serviceUs_;
            sim.endUs = *server;
        }
    }
    capacity::SearchResult runSearch() {
        return capacity::searchCapacity(*runner_, search,
                                        [this](const capacity::StepRecord& st) { steps.push_back(st); });
    }

    capacity::SearchSettings search;
    std::vector<capacity::StepRecord> steps;
    std::vector<std::string> told;
    std::function<void()> onTurn;
    bool holdReplies = false;
    bool failLogins = false;
    std::vector<std::pair<Client*, std::string>> held;

private:
    struct Sim {
        std::size_t seen = 0;  // packets looked at
        std::int64_t startUs = 0;
        std::int64_t endUs = -1;  // the login under way ends then; -1: none
    };
    std::vector<Sim> sims_;
    std::vector<std::int64_t> serverFreeUs_;
    std::int64_t serviceUs_ = 0;
    std::unique_ptr<FleetStepRunner> runner_;
};

TEST_F(FleetCapacityTest, AFleetLargerThanTheDirectoryFindsItsCapacityNeverAbove) {
    startFleet(1, 2000, 4, 100);  // 500 logins/s; four clients could do 2000
    runner();
    const capacity::SearchResult r = runSearch();
    ASSERT_EQ(r.outcome, Outcome::Found) << r.reason;
    EXPECT_LE(*r.highestMet, 500.0);
    EXPECT_GE(*r.highestMet, 485.0) << "within 3 % below the true capacity";
    EXPECT_GT(*r.lowestFailed, *r.highestMet);
    EXPECT_TRUE(r.precisionReached);
    for (const auto& st : r.steps) {
        EXPECT_TRUE(st.verdict != capacity::Verdict::Met || st.offeredPerSecond <= 500) << st.offeredPerSecond;
        EXPECT_EQ(st.workers, 4);
        EXPECT_TRUE(st.generatorLimit.empty()) << st.offeredPerSecond << ": " << st.generatorLimit;
        EXPECT_GT(st.counted, 0u);
        EXPECT_LE(st.started, st.due);
        EXPECT_EQ(st.ended, st.started) << "every login out ends within its step";
    }
    EXPECT_EQ(steps.size(), r.steps.size()) << "each step told as it ended";
    // The line a controller prints last.
    const std::string rate = capacity::rateText(*r.highestMet, capacity::RateRounding::Down);
    EXPECT_EQ(capacity::resultLine(r, search).rfind("Capacity: " + rate + " logins/s (" + rate + "..", 0), 0u)
        << capacity::resultLine(r, search);
}

TEST_F(FleetCapacityTest, AFleetTooSmallForTheDirectoryIsNamedAsTheLimit) {
    startFleet(4, 1000, 2, 200);  // 4000 logins/s; two clients of 1 ms logins do at most 2000
    runner();
    const capacity::SearchResult r = runSearch();
    ASSERT_EQ(r.outcome, Outcome::AtLeast) << capacity::resultLine(r, search);
    EXPECT_EQ(r.reason, "the load generator ran out of workers (the fleet: 2 paced workstations)");
    EXPECT_LE(*r.highestMet, 2000.0);
    EXPECT_GE(*r.highestMet, 800.0);
    const std::string line = capacity::resultLine(r, search);
    EXPECT_NE(line.find(": the load generator ran out of workers (the fleet: 2 paced workstations)"),
              std::string::npos)
        << line;
}

TEST_F(FleetCapacityTest, TheFirstStepWaitsForTheClientsAskedFor) {
    startFleet(1, 1000, 1);
    FleetStepRunner& r = runner(3);
    int turns = 0;
    onTurn = [&] {
        if (++turns == 100 || turns == 200) join();  // two more clients, 25 and 50 ms later
    };
    const std::int64_t before = clock.nowUs;
    const auto f = r.runStep({100, 1'000'000, 0}, [](const capacity::StepFigures&) { return true; });
    EXPECT_FALSE(f.interrupted);
    EXPECT_EQ(f.workers, 3);
    EXPECT_EQ(f.workersText, "the fleet: 3 paced workstations");
    EXPECT_GE(clock.nowUs - before, 50'000 + 1'000'000);
    EXPECT_EQ(f.ended, 100u) << "100 logins/s for 1 s";
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), "waiting for 3 clients that accept pacing");
}

TEST_F(FleetCapacityTest, ADecidedStepEndsItsScheduleAndDropsTheLoginsDueThatNoClientTook) {
    startFleet(1, 50'000, 1);  // one client, logins of 50 ms: at 100/s most wait
    FleetStepRunner& r = runner();
    const auto f = r.runStep({100, 10'000'000, 0}, [this](const capacity::StepFigures&) {
        return clock.nowUs < 2'000'000;  // decided after about a second
    });
    EXPECT_LT(f.durationUs, 1'200'000) << "the step ended soon after it was decided";
    EXPECT_EQ(f.started, f.ended) << "the login out ended first";
    EXPECT_GT(f.due, f.started + 50) << "about 100 due in the second, about 20 taken";
    // Nothing more is due until the next step starts one.
    const std::size_t sent = clients[0].link.sent.size();
    for (int i = 0; i < 4000; ++i) turn();
    EXPECT_EQ(clients[0].link.sent.size(), sent);
}

TEST_F(FleetCapacityTest, ALoginOfAnEarlierStepDoesNotCountInTheNextOne) {
    startFleet(1, 1000, 1);
    FleetStepRunner& r = runner();
    holdReplies = true;
    // The first step's only login is still out when its drain ends.
    auto f = r.runStep({1, 1'000'000, 0}, [](const capacity::StepFigures&) { return true; });
    EXPECT_EQ(f.started, 1u);
    EXPECT_EQ(f.ended, 0u);
    EXPECT_EQ(f.fault, "a step ran no login: no paced client replied");
    ASSERT_EQ(held.size(), 1u);
    holdReplies = false;
    // Its reply comes during the next step: the client is free again, the reply not counted.
    onTurn = [&] {
        if (!held.empty()) {
            reply(*held.front().first, held.front().second);
            held.clear();
        }
    };
    f = r.runStep({10, 1'000'000, 0}, [](const capacity::StepFigures&) { return true; });
    EXPECT_EQ(f.ended, 10u);
    EXPECT_EQ(f.counted, 10u);
    EXPECT_EQ(engine->pacer()->timeline().latency().count(), 10u);
}

TEST_F(FleetCapacityTest, LostAndFailedLoginsCountAsFailedInTheSteadyPart) {
    startFleet(2, 1000, 2);
    FleetStepRunner& r = runner();
    failLogins = true;
    auto f = r.runStep({20, 1'000'000, 500'000}, [](const capacity::StepFigures&) { return true; });
    EXPECT_EQ(f.ended, 20u);
    EXPECT_EQ(f.counted, 10u) << "due from 0.5 s on";
    EXPECT_EQ(f.failed, 10u);
    EXPECT_EQ(f.latency.count(), 0u) << "a failed login has no latency to judge";
    failLogins = false;
    // A client that goes away holding a login: that login failed.
    holdReplies = true;
    onTurn = [&] {
        if (!held.empty() && clients.size() == 2) {
            engine->disconnected(held.front().first->id);
            held.clear();
            holdReplies = false;
            onTurn = nullptr;
        }
    };
    f = r.runStep({20, 1'000'000, 0}, [](const capacity::StepFigures&) { return true; });
    EXPECT_EQ(f.failed, 1u);
    EXPECT_EQ(f.ended, 20u);
    EXPECT_EQ(f.workers, 1) << "the fewest paced clients during the step";
}

TEST_F(FleetCapacityTest, AStoppedRunInterruptsTheStepAndTheSearch) {
    startFleet(1, 1000, 1);
    runner();
    onTurn = [&] {
        if (clock.nowUs > 5'000'000) engine->stop("SIGINT received");
    };
    const capacity::SearchResult r = runSearch();
    EXPECT_EQ(r.outcome, Outcome::Interrupted);
    EXPECT_EQ(capacity::exitStatus(r), 1);
}

TEST_F(FleetCapacityTest, TheReportHasEveryStepsLoginsAndTheCapacitySection) {
    startFleet(1, 2000, 2, 400);
    search.maxTimeUs = 20'000'000;
    FleetStepRunner& r = runner();
    const capacity::SearchResult result = runSearch();
    const nlohmann::ordered_json section = capacity::capacityJson(result, search);
    ReportContext context;
    context.capacityLogins = &r;
    context.capacity = &section;
    const auto report = nlohmann::json::parse(reportJson(stats, context));
    EXPECT_EQ(report["capacity"]["objective"], "p99 <= 10 ms");
    EXPECT_FALSE(report.contains("load")) << "each step had a schedule of its own";
    ASSERT_TRUE(report.contains("service_percentiles"));
    std::uint64_t ended = result.warmUp ? result.warmUp->ended : 0;
    for (const auto& st : result.steps) ended += st.ended;
    EXPECT_EQ(report["latency_us"]["count"], ended) << "latency from due over every step's logins";
    EXPECT_EQ(report["service_us"]["count"], ended);
}

TEST(CapacityCommandLine, TheSearchsOptionsAreTheClientsAndExcludeASetRate) {
    const auto r = parseCommandLine({"--find-capacity", "p99.9<=50ms,errors<=0.1%", "--from", "250",
                                     "--precision", "5", "--confidence", "0.99", "--max-time", "30",
                                     "--clients", "3"});
    const auto& s = std::get<CtrlSettings>(r);
    ASSERT_TRUE(s.capacity);
    EXPECT_EQ(s.capacity->objective.text(), "p99.9 <= 50 ms, errors <= 0.1 %");
    EXPECT_EQ(s.capacity->fromPerSecond, 250);
    EXPECT_EQ(s.capacity->precisionPct, 5);
    EXPECT_EQ(s.capacity->confidence, 0.99);
    EXPECT_EQ(s.capacity->maxTimeUs, 30'000'000);
    EXPECT_EQ(s.capacityClients, 3u);
    ASSERT_TRUE(s.pace) << "the clients are asked for the schedule extension";
    EXPECT_TRUE(s.pacedInSteps());
    EXPECT_FALSE(std::get<CtrlSettings>(parseCommandLine({"--rate", "5"})).pacedInSteps());

    const auto error = [](std::vector<std::string> args) {
        const auto parsed = parseCommandLine(args);
        const auto* e = std::get_if<UsageError>(&parsed);
        return e ? e->message : std::string("accepted");
    };
    EXPECT_EQ(
        error({"--find-capacity", "p99<20ms"}).rfind("--find-capacity: \"p99<20ms\" needs <= and a bound", 0),
        0u);
    EXPECT_EQ(error({"--from", "20"}), "--from needs --find-capacity");
    EXPECT_EQ(error({"--clients", "2"}), "--clients needs --find-capacity");
    EXPECT_EQ(error({"--find-capacity", "p99<=20ms", "--clients", "0"}),
              "option --clients: \"0\" is not a number from 1 to 1000000");
    EXPECT_EQ(error({"--find-capacity", "p99<=20ms", "--confidence", "1.5"}),
              "--confidence: the confidence must be from 0.5 to below 1");
    EXPECT_EQ(error({"--find-capacity", "p99<=20ms", "--max-time", "0.5"}),
              "--max-time: the time bound must be at least 1 s");
    for (const char* excluded : {"--rate", "--count", "--duration"}) {
        EXPECT_EQ(error({"--find-capacity", "p99<=20ms", excluded, "5"}),
                  std::string("--find-capacity sets the rate of each step itself: it excludes ") + excluded);
    }
    EXPECT_EQ(error({"--find-capacity", "p99<=20ms", "--no-timings"}),
              "--find-capacity needs the clients' timings (leave out --no-timings)");
}

}  // namespace
}  // namespace tarrow::ctrl::test
