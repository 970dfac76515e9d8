#include "client/ports/error_report.h"

#include <exception>

#include "client/directory/DSUser.h"

namespace tarrow {

std::string currentExceptionText() {
    // DSUser::DSError has no base class, so it needs its own catch before std::exception.
    try {
        throw;
    } catch (const DSUser::DSError& e) {
        return e.message;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

void runGuarded(ErrorReport& report, const std::function<void()>& handler) {
    try {
        handler();
    } catch (...) {
        report.show(currentExceptionText());
    }
}

}  // namespace tarrow
