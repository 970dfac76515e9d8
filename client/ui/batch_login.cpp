#include "client/ui/batch_login.h"

#include "client/ui/batch_run.h"
#include "client/ui/figure_text.h"

namespace tarrow {

bool takeNextLine(UsersFileReader& reader, DSUser& user, LogPane& log, BatchTally& tally,
                  BatchObserver* observer, const std::atomic<bool>* stop) {
    for (UsersFileReader::Read r; (r = reader.next()) != UsersFileReader::Read::End;) {
        if (stop && stop->load(std::memory_order_relaxed)) {
            tally.interrupted = true;
            return false;
        }
        if (r == UsersFileReader::Read::LongLine) {
            if (observer) observer->onRejectedLine();
            // A cut line would log in with altered credentials; leave it out and say so.
            log.append("***ERROR: Line " + std::to_string(reader.lineNumber()) + " is longer than " +
                       std::to_string(UsersFileReader::kMaxLineChars) + " characters; skipped");
            ++tally.longLines;
            continue;
        }
        const char* line = reader.lineText();
        if (*line == '\0') continue;
        try {
            user.setUserInfo(line);
        } catch (const DSUser::DSError& e) {
            // A rejected line is reported and not counted; the run goes on.
            log.append("***DSUser DSERROR: " + e.message);
            ++tally.rejectedLines;
            if (observer) observer->onRejectedLine();
            continue;
        }
        return true;
    }
    return false;
}

LoginResult executeLogin(DSUser& user) {
    try {
        const std::int32_t code = user.execute();
        return {code == 1 ? LoginOutcome::Success : LoginOutcome::Failed, code, {}};
    } catch (const DSUser::DSError& e) {
        return {LoginOutcome::Error, 0, e.message};
    }
}

void reportLogin(const DSUser& user, const LoginResult& result, UserBoxes boxes, LogPane& log,
                 BatchTally& tally) {
    ++tally.performed;
    if (result.outcome == LoginOutcome::Error) {
        log.append("***DSUser DSERROR: " + result.error);
        ++tally.directoryErrors;
        return;
    }
    boxes.edtUser.setText(user.userName);
    boxes.edtPasswd.setText(user.password);
    boxes.edtTree.setText(user.tree);
    boxes.edtContext.setText(user.context);
    boxes.edtServer.setText(user.server);
    if (result.code == 1) {
        log.append(user.userName + " Successful Login!");
        ++tally.successful;
    } else {
        log.append(user.userName + " Operation failed.  Error code: " + std::to_string(result.code));
    }
}

void appendRunReport(LogPane& log, std::int64_t elapsedUs, const BatchTally& tally) {
    log.append("It took: " + elapsedTimeText(elapsedUs) + " to execute the client workload.");
    log.append("");
    log.append("  There were " + std::to_string(tally.performed) + " operations performed.");
    log.append("  Successful operations: " + std::to_string(tally.successful));
}

}  // namespace tarrow
