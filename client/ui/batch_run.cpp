// The batch run: one operation per line of the users file, then a timed report.
#include "client/ui/batch_run.h"

#include "client/directory/login_timings.h"
#include "client/ui/figure_text.h"

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
    std::string errorText;  // the last login's error, for the observer
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

    for (UsersFileReader::Read r; (r = p_.reader.next()) != UsersFileReader::Read::End;) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            tally.interrupted = true;
            break;
        }
        if (r == UsersFileReader::Read::LongLine) {
            if (observer) observer->onRejectedLine();
            // A cut line would log in with altered credentials; leave it out and say so.
            p_.log.append("***ERROR: Line " + std::to_string(p_.reader.lineNumber()) + " is longer than " +
                          std::to_string(UsersFileReader::kMaxLineChars) + " characters; skipped");
            ++tally.longLines;
            continue;
        }
        const char* line = p_.reader.lineText();
        if (*line == '\0') continue;
        try {
            p_.user.setUserInfo(line);
        } catch (const DSUser::DSError& e) {
            // A rejected line is reported and not counted; the run goes on.
            p_.log.append("***DSUser DSERROR: " + e.message);
            ++tally.rejectedLines;
            if (observer) observer->onRejectedLine();
            continue;
        }
        BatchLogin timed;
        if (observer) timed.startUs = p_.clock.nowUs();
        try {
            const std::int32_t code = p_.user.execute();
            if (observer) {
                timed.endUs = p_.clock.nowUs();
                timed.outcome = code == 1 ? LoginOutcome::Success : LoginOutcome::Failed;
                timed.code = code;
            }
            p_.edtUser.setText(p_.user.userName);
            p_.edtPasswd.setText(p_.user.password);
            p_.edtTree.setText(p_.user.tree);
            p_.edtContext.setText(p_.user.context);
            p_.edtServer.setText(p_.user.server);
            if (code == 1) {
                p_.log.append(p_.user.userName + " Successful Login!");
                ++tally.successful;
            } else {
                p_.log.append(p_.user.userName + " Operation failed.  Error code: " + std::to_string(code));
            }
        } catch (const DSUser::DSError& e) {
            if (observer) {
                timed.endUs = p_.clock.nowUs();
                timed.outcome = LoginOutcome::Error;
                errorText = e.message;
                timed.message = errorText;
            }
            p_.log.append("***DSUser DSERROR: " + e.message);
            ++tally.directoryErrors;
        }
        if (observer) {
            timed.user = p_.user.userName;
            timed.phases = takePhaseTimings();
            observer->onLogin(timed);
        }
        ++tally.performed;
    }
    if (p_.reader.failed()) {
        p_.log.append("***ERROR: Cannot read users file \"" + usersFile + "\": " + p_.reader.errorText());
    }

    const std::int64_t endUs = p_.clock.nowUs();
    if (observer) observer->onRunEnd(endUs, tally.interrupted);
    // Asked to stop: no report lines for a run that did not go through the file.
    if (tally.interrupted) return tally;
    p_.log.append("It took: " + elapsedTimeText(endUs - startUs) + " to execute the client workload.");
    p_.log.append("");
    p_.log.append("  There were " + std::to_string(tally.performed) + " operations performed.");
    p_.log.append("  Successful operations: " + std::to_string(tally.successful));
    tally.fileRead = !p_.reader.failed();
    return tally;
}

}  // namespace tarrow
