// The event loop's last line of defence: a handler called from a Qt signal must never let an
// exception escape into Qt, so adapters deliver every callback through deliver().
#pragma once

#include <functional>
#include <string>

namespace tarrow {
class ErrorReport;
}

namespace tarrow::qt {

// Where errors that escape a callback are shown (a message box, standard error).
// Not owned; nullptr writes them to standard error.
void setLoopErrorReport(ErrorReport* report);

// Runs callback; an exception that leaves it is turned into text and shown, and the loop goes on.
void deliver(const std::function<void()>& callback);

}  // namespace tarrow::qt
