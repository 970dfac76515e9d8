#include "common/capacity/capacity_search.h"

#include "common/capacity/capacity_text.h"

#include <algorithm>
#include <map>

namespace tarrow::capacity {
namespace {

// How the steady part so far stands against the objective: each part by its own test; the
// step fails when any part fails and meets it when all parts meet it.
Verdict judge(const StepFigures& f, const SearchSettings& s) {
    const Objective& o = s.objective;
    const std::uint64_t over = countOver(f.latency, o.boundUs) + (o.errorsPct ? 0 : f.failed);
    const std::uint64_t latencyN = o.errorsPct ? f.counted - f.failed : f.counted;
    std::vector<Verdict> parts{shareVerdict(over, latencyN, o.allowedOverShare(), s.confidence)};
    if (o.errorsPct) parts.push_back(shareVerdict(f.failed, f.counted, *o.errorsPct / 100, s.confidence));
    if (std::find(parts.begin(), parts.end(), Verdict::Failed) != parts.end()) return Verdict::Failed;
    const bool allMet = std::all_of(parts.begin(), parts.end(), [](Verdict v) { return v == Verdict::Met; });
    return allMet && f.steadyUs >= s.minSteadyUs ? Verdict::Met : Verdict::Undecided;
}

// A generator that falls behind while a worker is free this much on average is the limit.
constexpr std::int64_t kOwnLagLimitUs = 2000;

// What ran out in the load generator when a failed step is its fault, or empty: its own lag
// grew (it could not start logins on time although a worker was free), or logins waited for
// a worker while the directory served them as fast as at a rate that met the objective. The
// service time is compared by its median, which a busy machine leaves alone; the wait is
// judged at the objective's percentile, where the step failed.
std::string generatorLimit(const StepRecord& step, const std::optional<StepRecord>& reference) {
    if (step.verdict == Verdict::Met) return {};
    if (step.ownLagMeanUs > kOwnLagLimitUs)
        return "the load generator fell behind its schedule (processor time): its own lag averaged " +
               durationText(step.ownLagMeanUs);
    if (!reference) return {};
    const bool serviceFlat = step.serviceP50Us <= reference->serviceP50Us * 3 / 2 + 100;
    const bool waitedForWorkers = step.scheduleLagPctUs > std::max<std::int64_t>(step.servicePctUs, 1000);
    if (!serviceFlat || !waitedForWorkers) return {};
    const std::string workers = !step.workersText.empty() ? step.workersText
                                                          : std::to_string(step.workers) +
                                                                (step.workers == 1 ? " worker" : " workers");
    return "the load generator ran out of workers (" + workers + ")";
}

StepRecord recordOf(double perSecond, const StepFigures& f, const SearchSettings& s, Verdict verdict) {
    StepRecord r;
    r.offeredPerSecond = perSecond;
    r.due = f.due;
    r.started = f.started;
    r.ended = f.ended;
    r.durationUs = f.durationUs;
    r.counted = f.counted;
    r.failed = f.failed;
    r.over = countOver(f.latency, s.objective.boundUs) + (s.objective.errorsPct ? 0 : f.failed);
    r.percentile = percentileInterval(f.latency, s.objective.percentile / 100, s.confidence);
    r.p50Us = f.latency.percentile(0.5);
    r.serviceP50Us = f.service.percentile(0.5);
    r.servicePctUs = f.service.percentile(s.objective.percentile / 100);
    r.scheduleLagPctUs = f.scheduleLag.percentile(s.objective.percentile / 100);
    r.ownLagMeanUs = f.ownLagMeanUs;
    r.workers = f.workers;
    r.workersText = f.workersText;
    r.verdict = verdict;
    return r;
}

class Search {
public:
    Search(StepRunner& runner, const SearchSettings& s, const std::function<void(const StepRecord&)>& onStep)
        : runner_(runner), s_(s), onStep_(onStep) {}

    SearchResult run() {
        warmUp();
        if (interrupted_ || !fault_.empty()) return finish();
        double rate = s_.fromPerSecond;
        // Bracket: double until a rate fails or the rates end.
        for (;;) {
            const auto verdict = step(rate);
            if (!verdict) return finish();
            if (*verdict != Verdict::Met) break;
            if (rate >= s_.maxPerSecond) return finish();
            rate = std::min(rate * 2, s_.maxPerSecond);
        }
        // Bisect until the bracket is narrow enough.
        while (r_.highestMet && !narrowEnough()) {
            if (!step((*r_.highestMet + *r_.lowestFailed) / 2)) break;
        }
        return finish();
    }

private:
    bool narrowEnough() const {
        return (*r_.lowestFailed - *r_.highestMet) / *r_.highestMet * 100 < s_.precisionPct;
    }

    void warmUp() {
        const std::int64_t us = std::min(s_.warmUpUs, s_.maxTimeUs / 10);
        if (us <= 0) return;
        const StepFigures f = runner_.runStep({s_.fromPerSecond, us, us},
                                              [](const StepFigures&) { return true; });
        r_.elapsedUs += f.durationUs;
        interrupted_ = f.interrupted;
        fault_ = f.fault;
        r_.warmUp = recordOf(s_.fromPerSecond, f, s_, Verdict::Undecided);
    }

    // Runs one step at rate; its verdict, or nothing when the search must end (time ran out,
    // interrupted).
    std::optional<Verdict> step(double rate) {
        const std::int64_t left = s_.maxTimeUs - r_.elapsedUs;
        if (left < s_.settleUs + s_.minSteadyUs) {
            r_.timeRanOut = true;
            return std::nullopt;
        }
        Verdict decided = Verdict::Undecided;  // the verdict that stopped the step, if one did
        const bool cutByTime = left < s_.maxStepUs;
        const StepFigures f = runner_.runStep({rate, std::min(s_.maxStepUs, left), s_.settleUs},
                                              [&](const StepFigures& soFar) {
                                                  decided = judge(soFar, s_);
                                                  return decided == Verdict::Undecided;
                                              });
        r_.elapsedUs += f.durationUs;
        if (f.interrupted || !f.fault.empty()) {
            interrupted_ = f.interrupted;
            fault_ = f.fault;
            return std::nullopt;
        }
        // The logins under way when the step stopped end before the figures are final, and
        // their few more samples can widen the interval again: a step the test decided keeps
        // its verdict unless the final figures decide too.
        Verdict verdict = judge(f, s_);
        if (verdict == Verdict::Undecided) verdict = decided;
        StepRecord record = recordOf(rate, f, s_, verdict);
        record.generatorLimit = generatorLimit(record, reference());
        r_.steps.push_back(record);
        if (onStep_) onStep_(record);
        // A step the search's own time bound cut short proves nothing about the rate.
        if (verdict == Verdict::Undecided && cutByTime) {
            r_.timeRanOut = true;
            return std::nullopt;
        }
        // Undecided within the bound counts as failed: no rate is claimed without evidence.
        if (verdict == Verdict::Met) {
            if (!r_.highestMet || rate > *r_.highestMet) r_.highestMet = rate;
        } else if (!r_.lowestFailed || rate < *r_.lowestFailed) {
            r_.lowestFailed = rate;
            lowestFailedStep_ = r_.steps.size() - 1;
        }
        return verdict;
    }

    // The step of the lowest rate that met the objective: how fast the directory serves
    // when it is not the limit.
    std::optional<StepRecord> reference() const {
        std::optional<StepRecord> best;
        for (const auto& st : r_.steps)
            if (st.verdict == Verdict::Met && (!best || st.offeredPerSecond < best->offeredPerSecond))
                best = st;
        return best;
    }

    SearchResult finish() {
        r_.knee = kneeOf(r_.steps);
        r_.precisionReached = r_.highestMet && r_.lowestFailed && narrowEnough();
        const StepRecord* failed = r_.lowestFailed ? &r_.steps[lowestFailedStep_] : nullptr;
        if (!r_.highestMet) {
            r_.outcome = interrupted_ ? Outcome::Interrupted : Outcome::None;
            if (!fault_.empty()) r_.reason = fault_;
            else if (interrupted_)
                r_.reason = "the search was interrupted";
            else if (r_.timeRanOut && !failed)
                r_.reason = "the search ran out of time before a rate met the objective";
            else
                r_.reason = failReason(*failed);
            return r_;
        }
        r_.outcome = Outcome::AtLeast;
        if (failed && !failed->generatorLimit.empty()) r_.reason = failed->generatorLimit;
        else if (failed)
            r_.outcome = Outcome::Found;
        else if (interrupted_)
            r_.reason = "the search was interrupted before a rate failed";
        else if (r_.timeRanOut)
            r_.reason = "the search ran out of time before a rate failed";
        else
            r_.reason = "the highest rate a step may offer met the objective";
        return r_;
    }

    std::string failReason(const StepRecord& st) const {
        const std::string rate = rateText(st.offeredPerSecond, RateRounding::Up) + " logins/s";
        if (!st.generatorLimit.empty()) return "even " + rate + " failed: " + st.generatorLimit;
        if (st.verdict == Verdict::Undecided)
            return "at " + rate + " the test could not decide within " + durationText(s_.maxStepUs) + " (" +
                   std::to_string(st.counted) + " logins counted); start higher with a larger first rate";
        return "even " + rate + " failed " + s_.objective.text();
    }

    StepRunner& runner_;
    const SearchSettings& s_;
    const std::function<void(const StepRecord&)>& onStep_;
    SearchResult r_;
    std::size_t lowestFailedStep_ = 0;
    bool interrupted_ = false;
    std::string fault_;  // why a step could not run
};

}  // namespace

std::string settingsError(const SearchSettings& s) {
    if (!(s.precisionPct > 0 && s.precisionPct <= 100))
        return "the precision must be above 0 and at most 100 %";
    if (!(s.confidence >= 0.5 && s.confidence < 1)) return "the confidence must be from 0.5 to below 1";
    if (!(s.fromPerSecond > 0 && s.fromPerSecond <= s.maxPerSecond))
        return "the first rate must be above 0 and at most " + rateText(s.maxPerSecond, RateRounding::Down) +
               " logins/s";
    if (s.maxTimeUs < 1'000'000) return "the time bound must be at least 1 s";
    return {};
}

SearchResult searchCapacity(StepRunner& runner, const SearchSettings& settings,
                            const std::function<void(const StepRecord&)>& onStep) {
    return Search(runner, settings, onStep).run();
}

int exitStatus(const SearchResult& result) {
    return result.outcome == Outcome::Found || result.outcome == Outcome::AtLeast ? 0 : 1;
}

std::optional<double> kneeOf(const std::vector<StepRecord>& steps) {
    std::map<double, std::int64_t> medians;  // by rate; a rate run twice keeps its last
    for (const auto& st : steps)
        if (st.counted > 0) medians[st.offeredPerSecond] = st.p50Us;
    if (medians.size() < 3) return std::nullopt;
    const double base = static_cast<double>(std::max<std::int64_t>(medians.begin()->second, 1));
    std::optional<double> flatUpTo;
    for (const auto& [rate, p50] : medians) {
        if (static_cast<double>(p50) <= 1.5 * base) flatUpTo = rate;
        else if (static_cast<double>(p50) >= 2 * base)
            return flatUpTo;
        else
            return std::nullopt;  // a gradual rise: no clear bend
    }
    return std::nullopt;
}

}  // namespace tarrow::capacity
