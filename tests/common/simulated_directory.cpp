#include "simulated_directory.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>

namespace tarrow::capacity::testing {
namespace {

using MinHeap = std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>>;

MinHeap zeros(int n) {
    MinHeap h;
    for (int i = 0; i < n; ++i) h.push(0);
    return h;
}

struct Login {
    std::int64_t due, start, end;
    bool failed;
    bool operator>(const Login& o) const { return end > o.end; }
};

}  // namespace

StepFigures SimulatedDirectory::runStep(const StepPlan& plan,
                                        const std::function<bool(const StepFigures&)>& keepGoing) {
    plans.push_back(plan);
    StepFigures f;
    f.workers = shape_.workers;
    MinHeap workers = zeros(shape_.workers);
    MinHeap servers = zeros(shape_.servers);
    std::priority_queue<Login, std::vector<Login>, std::greater<>> underWay;
    std::int64_t generatorFreeUs = 0;
    std::int64_t ownLagSum = 0;
    std::uint64_t steadyStarted = 0;
    // Logins count once they have ended, as a real step sees them.
    const auto endUntil = [&](std::int64_t nowUs) {
        while (!underWay.empty() && underWay.top().end <= nowUs) {
            const Login l = underWay.top();
            underWay.pop();
            ++f.ended;
            f.durationUs = std::max(f.durationUs, l.end);
            if (l.due < plan.settleUs) continue;
            ++f.counted;
            if (l.failed) ++f.failed;
            else
                f.latency.record(l.end - l.due);
            f.service.record(l.end - l.start);
            f.scheduleLag.record(l.start - l.due);
        }
    };
    const double gapUs = 1e6 / plan.perSecond;
    std::int64_t nextLookUs = 100'000;
    std::int64_t stopUs = plan.maxUs;  // the step's due times end here
    for (std::uint64_t i = 0;; ++i) {
        const auto due = static_cast<std::int64_t>(std::llround(static_cast<double>(i) * gapUs));
        if (due >= plan.maxUs) break;
        if (due >= nextLookUs) {
            endUntil(due);
            f.durationUs = due;
            f.steadyUs = std::max<std::int64_t>(0, due - plan.settleUs);
            f.ownLagMeanUs = steadyStarted ? ownLagSum / static_cast<std::int64_t>(steadyStarted) : 0;
            ++decisions;
            if (!keepGoing(f)) {
                stopUs = due;
                break;
            }
            nextLookUs += 100'000;
        }
        const std::int64_t workerFree = std::max(due, workers.top());
        workers.pop();
        const std::int64_t start = std::max(workerFree, generatorFreeUs);
        generatorFreeUs = start + shape_.generatorUsPerLogin;
        const std::int64_t served = std::max(start, servers.top());
        servers.pop();
        const std::int64_t end = served + shape_.serviceUs;
        servers.push(end);
        workers.push(end);
        ++logins_;
        underWay.push({due, start, end, shape_.failEvery && logins_ % shape_.failEvery == 0});
        ++f.due;
        ++f.started;
        if (due >= plan.settleUs) {
            ownLagSum += start - workerFree;
            ++steadyStarted;
        }
    }
    endUntil(INT64_MAX);
    f.steadyUs = std::max<std::int64_t>(0, stopUs - plan.settleUs);
    f.ownLagMeanUs = steadyStarted ? ownLagSum / static_cast<std::int64_t>(steadyStarted) : 0;
    return f;
}

}  // namespace tarrow::capacity::testing
