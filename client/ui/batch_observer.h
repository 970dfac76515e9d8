// What a batch run tells whoever watches it: its start and end on the monotonic clock of
// the run, and every login with its outcome and timings. Only a run that is watched reads
// the clock around each login and takes the phases the directory libraries measured.
#pragma once

#include "common/login_phases.h"
#include "report/model/run_report.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarrow {

struct BatchLogin {
    std::string_view user;
    LoginOutcome outcome = LoginOutcome::Success;
    std::int32_t code = 0;     // what the operation returned; 0 for an error
    std::string_view message;  // the error text ("QVDSLogin returned -203"); empty unless an error
    std::int64_t startUs = 0;  // the run's monotonic clock around DSUser::execute
    std::int64_t endUs = 0;
    // When the login was due (a paced run); a run one login after another has it due when
    // it starts.
    std::optional<std::int64_t> dueUs;
    std::int64_t due() const { return dueUs.value_or(startUs); }
    PhaseTimings phases;  // as the directory libraries measured them
};

class BatchObserver {
public:
    virtual ~BatchObserver() = default;
    virtual void onRunStart(std::int64_t startUs) = 0;
    virtual void onLogin(const BatchLogin& login) = 0;
    // A line that was not run: longer than a line may be, or fewer than five fields.
    virtual void onRejectedLine() = 0;
    // interrupted: the run was asked to stop before the end of the users file.
    virtual void onRunEnd(std::int64_t endUs, bool interrupted) = 0;
};

}  // namespace tarrow
