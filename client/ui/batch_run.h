// The batch run: one directory operation per line of the users file, then a timed report.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "client/directory/DSUser.h"
#include "client/ports/clock.h"
#include "client/ports/controls.h"
#include "client/ui/batch_observer.h"
#include "common/users_file_reader.h"

namespace tarrow {

// What one batch run did.
struct BatchTally {
    std::int32_t performed = 0;        // accepted non-empty lines, whatever their outcome
    std::int32_t successful = 0;       // of performed: operations that returned 1
    std::int32_t directoryErrors = 0;  // of performed: operations that raised a directory error
    std::int32_t rejectedLines = 0;    // non-empty lines whose credentials were refused; not performed
    std::int32_t longLines = 0;        // lines longer than UsersFileReader::kMaxLineChars; skipped
    bool fileRead = false;             // the users file was opened and read to its end
    bool interrupted = false;          // asked to stop before the end of the file
};

// What a batch run works with; the form owns all of it.
struct BatchRunPorts {
    UsersFileReader& reader;
    DSUser& user;
    LogPane& log;
    // The edit boxes show the credentials of the last operation that returned.
    EditBox& edtUser;
    EditBox& edtPasswd;
    EditBox& edtTree;
    EditBox& edtContext;
    EditBox& edtServer;
    MonotonicClock& clock;
};

class BatchRun {
public:
    explicit BatchRun(const BatchRunPorts& ports) : p_(ports) {}

    // Runs the operation of every line of usersFile, logs each outcome and the report, and
    // returns the tally. A file that cannot be opened gives one log line and no report. A
    // rejected or over-long line is logged and the run goes on; any other error leaves here
    // for the caller, with the file closed so that a later run can open it again.
    // An observer is told the start, every login with its outcome and timings (execute on
    // the run's clock, the phases the directory libraries measured) and the end; only a
    // watched run times its logins. When stop becomes true the run ends before its next
    // line, without its report lines (fileRead stays false, interrupted is true).
    BatchTally run(const std::string& usersFile, BatchObserver* observer = nullptr,
                   const std::atomic<bool>* stop = nullptr);

private:
    BatchRunPorts p_;
};

}  // namespace tarrow
