// The batch run: one operation per line of the users file, then a timed report.
#include "client/app/TrwU.h"
#include "client/directory/login_timings.h"
#include "client/ui/figure_text.h"

namespace {

// Closes the users file however the run ends, so that a later run can open it again.
class CloseOnExit {
public:
    explicit CloseOnExit(tarrow::UsersFileReader& reader) : reader_(reader) {}
    ~CloseOnExit() { reader_.close(); }
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;

private:
    tarrow::UsersFileReader& reader_;
};

}  // namespace

void TfrmTrwMain::runBatch(tarrow::BatchObserver* observer, const std::atomic<bool>* stop) {
    using tarrow::UsersFileReader;
    lastBatchCompleted = false;
    const std::int64_t startUs = p.monotonicClock.nowUs();
    bool interrupted = false;
    std::string errorText;  // the last login's error, for the observer
    std::int32_t performed = 0;   // accepted non-empty lines, whatever their outcome
    std::int32_t successful = 0;  // of those, operations that returned 1

    if (observer) {
        observer->onRunStart(startUs);
        tarrow::takePhaseTimings();  // nothing left from an earlier login
    }
    if (!usersStream.open(workloadUsersFile)) {
        // Without the file there is nothing to run and nothing to report.
        p.memDebug.append("***ERROR: Cannot open users file \"" + workloadUsersFile + "\": " +
                          usersStream.errorText());
        if (observer) observer->onRunEnd(p.monotonicClock.nowUs(), false);
        return;
    }
    const CloseOnExit closer(usersStream);

    for (UsersFileReader::Read r; (r = usersStream.next()) != UsersFileReader::Read::End;) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            interrupted = true;
            break;
        }
        if (r == UsersFileReader::Read::LongLine) {
            if (observer) observer->onRejectedLine();
            // A cut line would log in with altered credentials; leave it out and say so.
            p.memDebug.append("***ERROR: Line " + std::to_string(usersStream.lineNumber()) +
                              " is longer than " + std::to_string(UsersFileReader::kMaxLineChars) +
                              " characters; skipped");
            continue;
        }
        const char* line = usersStream.lineText();
        if (*line == '\0') continue;
        try {
            user->setUserInfo(line);
        } catch (const DSUser::DSError& e) {
            // A rejected line is reported and not counted; the run goes on.
            p.memDebug.append("***DSUser DSERROR: " + e.message);
            if (observer) observer->onRejectedLine();
            continue;
        }
        tarrow::BatchLogin timed;
        if (observer) timed.startUs = p.monotonicClock.nowUs();
        try {
            const std::int32_t code = user->execute();
            if (observer) {
                timed.endUs = p.monotonicClock.nowUs();
                timed.outcome = code == 1 ? tarrow::LoginOutcome::Success : tarrow::LoginOutcome::Failed;
                timed.code = code;
            }
            p.edtUser.setText(user->userName);
            p.edtPasswd.setText(user->password);
            p.edtTree.setText(user->tree);
            p.edtContext.setText(user->context);
            p.edtServer.setText(user->server);
            if (code == 1) {
                p.memDebug.append(user->userName + " Successful Login!");
                ++successful;
            } else {
                p.memDebug.append(user->userName + " Operation failed.  Error code: " + std::to_string(code));
            }
        } catch (const DSUser::DSError& e) {
            if (observer) {
                timed.endUs = p.monotonicClock.nowUs();
                timed.outcome = tarrow::LoginOutcome::Error;
                errorText = e.message;
                timed.message = errorText;
            }
            p.memDebug.append("***DSUser DSERROR: " + e.message);
        }
        if (observer) {
            timed.user = user->userName;
            timed.phases = tarrow::takePhaseTimings();
            observer->onLogin(timed);
        }
        ++performed;
    }
    if (usersStream.failed()) {
        p.memDebug.append("***ERROR: Cannot read users file \"" + workloadUsersFile + "\": " +
                          usersStream.errorText());
    }

    const std::int64_t endUs = p.monotonicClock.nowUs();
    if (observer) observer->onRunEnd(endUs, interrupted);
    // Asked to stop: no report lines for a run that did not go through the file.
    if (interrupted) return;
    p.memDebug.append("It took: " + tarrow::elapsedTimeText(endUs - startUs) + " to execute the client workload.");
    p.memDebug.append("");
    p.memDebug.append("  There were " + std::to_string(performed) + " operations performed.");
    p.memDebug.append("  Successful operations: " + std::to_string(successful));
    lastBatchCompleted = !usersStream.failed();
}
