// A directory of known capacity behind a load generator, in virtual time: the step runner the
// capacity search's tests drive. Logins due evenly take the first free of `workers` workers,
// then the first free of `servers` servers for serviceUs each (capacity: servers * 1e6 /
// serviceUs per second). The generator itself needs generatorUsPerLogin of its own time to
// start a login, so that it can fall behind; every failEvery-th login fails.
#pragma once

#include "common/capacity/step_runner.h"

#include <vector>

namespace tarrow::capacity::testing {

struct DirectoryShape {
    int servers = 2;
    std::int64_t serviceUs = 2000;
    int workers = 64;
    std::int64_t generatorUsPerLogin = 0;
    std::uint64_t failEvery = 0;  // 0: no login fails
};

class SimulatedDirectory : public StepRunner {
public:
    explicit SimulatedDirectory(DirectoryShape shape) : shape_(shape) {}
    StepFigures runStep(const StepPlan& plan, const std::function<bool(const StepFigures&)>& keepGoing) override;

    std::vector<StepPlan> plans;  // every step asked for, warm-up first
    int decisions = 0;            // calls of keepGoing

private:
    DirectoryShape shape_;
    std::uint64_t logins_ = 0;
};

}  // namespace tarrow::capacity::testing
