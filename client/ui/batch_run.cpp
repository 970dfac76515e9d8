// The batch run: one operation per line of the users file, then a timed report.
#include "client/ui/batch_run.h"

#include "client/directory/login_timings.h"
#include "client/ui/batch_login.h"

namespace tarrow {
namespace {

// Closes the users file however the run ends, so that a later run can open it again.
class CloseOnExit {
public:
    explicit CloseOnExit(UsersFileReader& reader) : reader_(reader) {}
    ~CloseOnExit() { reader_.close(); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    UsersFileReader& reader_;
};

}  // namespace

BatchTally BatchRun::run(const std::string& usersFile, BatchObserver* observer, const std::atomic<bool>* stop) {
    BatchTally tally;
    const std::int64_t startUs = p_.clock.nowUs();
    if (observer) {
        observer->onRunStart(startUs);
        takePhaseTimings();  // nothing left from an earlier login
    }

    if (!p_.reader.open(usersFile)) {
        // Without the file there is nothing to run and nothing to report.
        p_.log.append("***ERROR: Cannot open users file \"" + usersFile + "\": " + p_.reader.errorText());
        if (observer) observer->onRunEnd(p_.clock.nowUs(), false);
        return tally;
    }
    const CloseOnExit closer(p_.reader);

    while (takeNextLine(p_.reader, p_.user, p_.log, tally, observer, stop)) {
        BatchLogin timed;
        if (observer) timed.startUs = p_.clock.nowUs();
        const LoginResult result = executeLogin(p_.user);
        if (observer) {
            timed.endUs = p_.clock.nowUs();
            timed.outcome = result.outcome;
            timed.code = result.code;
            timed.message = result.error;
            timed.user = p_.user.userName;
            timed.phases = takePhaseTimings();
        }
        reportLogin(p_.user, result, {p_.edtUser, p_.edtPasswd, p_.edtTree, p_.edtContext, p_.edtServer},
                    p_.log, tally);
        if (observer) observer->onLogin(timed);
    }
    if (p_.reader.failed()) {
        p_.log.append("***ERROR: Cannot read users file \"" + usersFile + "\": " + p_.reader.errorText());
    }

    const std::int64_t endUs = p_.clock.nowUs();
    if (observer) observer->onRunEnd(endUs, tally.interrupted);
    // Asked to stop: no report lines for a run that did not go through the file.
    if (tally.interrupted) return tally;
    appendRunReport(p_.log, endUs - startUs, tally);
    tally.fileRead = !p_.reader.failed();
    return tally;
}

}  // namespace tarrow
