// The steps a batch run takes for each line, shared by the run one login after another and
// the paced run: taking the next credential line, and running and logging its login.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "client/directory/DSUser.h"
#include "client/ports/controls.h"
#include "client/ui/batch_observer.h"
#include "common/users_file_reader.h"

namespace tarrow {

struct BatchTally;

// Reads lines until one is accepted into user and returns true; a line longer than a line
// may be, or one with too few fields, is logged, counted and skipped. false at the end of the
// file, or when stop is set (then tally.interrupted is set too).
bool takeNextLine(UsersFileReader& reader, DSUser& user, LogPane& log, BatchTally& tally,
                  BatchObserver* observer, const std::atomic<bool>* stop);

// What one login returned.
struct LoginResult {
    LoginOutcome outcome = LoginOutcome::Success;
    std::int32_t code = 0;
    std::string error;  // the DSError's text
};

// Runs user's operation; a DSUser::DSError is its result, not an exception.
LoginResult executeLogin(DSUser& user);

// The edit boxes that show the last user whose operation returned.
struct UserBoxes {
    EditBox& edtUser;
    EditBox& edtPasswd;
    EditBox& edtTree;
    EditBox& edtContext;
    EditBox& edtServer;
};

// Shows the user (unless the operation raised an error), writes the login's one log line and
// counts it.
void reportLogin(const DSUser& user, const LoginResult& result, UserBoxes boxes, LogPane& log,
                 BatchTally& tally);

// The four lines that end a run that went through its work: elapsed time and counts.
void appendRunReport(LogPane& log, std::int64_t elapsedUs, const BatchTally& tally);

}  // namespace tarrow
