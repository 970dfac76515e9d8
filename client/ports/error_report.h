// The event loop's general error report: an error that leaves an event handler is shown
// to the operator and the program goes on.
#pragma once

#include <functional>
#include <string>

namespace tarrow {

class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    virtual void show(const std::string& text) = 0;
};

// Runs one event handler; any exception that leaves it (DSUser::DSError included) is turned
// into text and shown through report, and the caller goes on.
void runGuarded(ErrorReport& report, const std::function<void()>& handler);

// The text of the exception being handled: a DSUser::DSError's message, a std::exception's
// what(), or "Unknown error". Call it only inside a catch block.
std::string currentExceptionText();

}  // namespace tarrow
