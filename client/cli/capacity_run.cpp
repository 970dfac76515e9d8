#include "client/cli/capacity_run.h"

#include "common/capacity/capacity_json.h"
#include "common/capacity/capacity_text.h"
#include "common/load/worker_pool.h"
#include "common/visible_text.h"

#include <chrono>
#include <thread>

namespace tarrow::cli {
namespace {

using namespace tarrow::capacity;

// The log of a step: only errors (a users file that cannot be read, a line too long) reach
// standard output; each login's line is left out.
class StepLog final : public LogPane {
public:
    explicit StepLog(ConsoleOutput& out) : out_(out) {}
    void append(const std::string& line) override {
        if (line.rfind("***ERROR:", 0) == 0) out_.logLine(hasControlBytes(line) ? visibleText(line) : line);
    }
    void clear() override {}

private:
    ConsoleOutput& out_;
};

// Watches one step under the paced run's lock: counts its logins, gathers the figures of its
// steady part, asks the search whether to go on every 100 ms, and passes every login on.
class StepWatch final : public BatchObserver {
public:
    static constexpr std::int64_t kLookEveryUs = 100'000;

    StepWatch(const StepPlan& plan, const std::function<bool(const StepFigures&)>& keepGoing,
              BatchObserver* next, std::atomic<bool>& stopStep)
        : plan_(plan), keepGoing_(keepGoing), next_(next), stopStep_(stopStep) {}

    void onRunStart(std::int64_t startUs) override {
        startUs_ = startUs;
        nextLookUs_ = startUs + kLookEveryUs;
    }
    void onLogin(const BatchLogin& login) override {
        if (next_) next_->onLogin(login);
        ++f_.ended;
        f_.durationUs = login.endUs - startUs_;
        if (login.due() - startUs_ >= plan_.settleUs)
            f_.countSteady(login.due(), login.startUs, login.endUs, login.outcome == LoginOutcome::Success);
        if (login.endUs >= nextLookUs_ && !stopStep_.load(std::memory_order_relaxed)) {
            nextLookUs_ = login.endUs + kLookEveryUs;
            f_.steadyUs = std::max<std::int64_t>(0, std::min(f_.durationUs, plan_.maxUs) - plan_.settleUs);
            if (!keepGoing_(f_)) stopStep_.store(true, std::memory_order_relaxed);
        }
    }
    void onRejectedLine() override {
        if (next_) next_->onRejectedLine();
    }
    void onRunEnd(std::int64_t, bool) override {}

    StepFigures& figures() { return f_; }

private:
    const StepPlan& plan_;
    const std::function<bool(const StepFigures&)>& keepGoing_;
    BatchObserver* next_;
    std::atomic<bool>& stopStep_;
    StepFigures f_;
    std::int64_t startUs_ = 0;
    std::int64_t nextLookUs_ = 0;
};

// The load generator's own lag over the seconds from settleUs on (common/load/load_timeline.h).
std::int64_t ownLagMeanUs(const load::LoadTimeline& timeline, std::int64_t settleUs) {
    std::int64_t sum = 0;
    std::uint64_t started = 0;
    const auto& seconds = timeline.seconds();
    for (std::size_t s = static_cast<std::size_t>(settleUs / 1'000'000); s < seconds.size(); ++s) {
        sum += seconds[s].ownLagSumUs;
        started += seconds[s].started;
    }
    return started ? sum / static_cast<std::int64_t>(started) : 0;
}

}  // namespace

StepFigures PacedStepRunner::runStep(const StepPlan& plan,
                                     const std::function<bool(const StepFigures&)>& keepGoing) {
    load::LoadPlan lp;
    lp.curve = {{plan.perSecond, static_cast<double>(plan.maxUs) / 1e6}};
    lp.durationUs = plan.maxUs;
    lp.workers = workers_ ? *workers_ : load::defaultWorkers(lp.curve);
    std::atomic<bool> stopStep{false};
    StepWatch watch(plan, keepGoing, watch_, stopStep);
    StepLog log(out_);
    load::SteadyLoadClock clock;
    PacedBatchRun run = form_.pacedBatch(lp, clock, &log);
    // A signal stops the step too, even while no login ends.
    std::atomic<bool> stepDone{false};
    std::thread signalWatch([&] {
        while (!stepDone.load()) {
            if (stop_.load()) stopStep.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::optional<BatchTally> tally;
    const std::int64_t startUs = clock.nowUs();
    form_.guarded([&] { tally = run.run(form_.workloadUsersFile, &watch, &stopStep); });
    const std::int64_t endUs = clock.nowUs();
    stepDone.store(true);
    signalWatch.join();
    out_.flush();

    StepFigures f = std::move(watch.figures());
    f.workers = lp.workers;
    f.durationUs = endUs - startUs;
    f.steadyUs = std::max<std::int64_t>(0, std::min(f.durationUs, plan.maxUs) - plan.settleUs);
    f.due = f.started = 0;
    for (const auto& second : run.timeline().seconds()) {
        f.due += second.due;
        f.started += second.started;
    }
    f.ownLagMeanUs = ownLagMeanUs(run.timeline(), plan.settleUs);
    f.interrupted = stop_.load();
    if (!tally) f.fault = "a step ended with an error";
    else if (f.ended == 0 && !f.interrupted)
        f.fault = "a step ran no login (see the users file)";
    return f;
}

int runCapacitySearch(const SearchSettings& settings, std::optional<int> workers, TfrmTrwMain& form,
                      ConsoleOutput& out, BatchObserver* watch, BatchReport* report,
                      const std::atomic<bool>& stop) {
    out.notice("capacity", searchStartText(settings));
    PacedStepRunner runner(form, out, workers, watch, stop);
    load::SteadyLoadClock clock;  // the clock of the steps' logins
    const std::int64_t startUs = clock.nowUs();
    if (watch) watch->onRunStart(startUs);
    const SearchResult result = searchCapacity(runner, settings, [&](const StepRecord& st) {
        out.notice("capacity", stepText(st, settings.objective));
    });
    const std::int64_t endUs = clock.nowUs();
    if (watch) watch->onRunEnd(endUs, stop.load());
    for (const std::string& line : searchEndTexts(result, settings, endUs - startUs))
        out.notice("capacity", line);
    if (report) report->setCapacity(capacityJson(result, settings));
    out.logLine(resultLine(result, settings));
    out.flush();
    return exitStatus(result);
}

}  // namespace tarrow::cli
