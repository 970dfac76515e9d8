#include "client/ports/error_report.h"

#include <exception>

#include "client/directory/DSUser.h"

namespace tarrow {

void runGuarded(ErrorReport& report, const std::function<void()>& handler) {
    // DSUser::DSError has no base class, so it needs its own catch before std::exception.
    try {
        handler();
    } catch (const DSUser::DSError& e) {
        report.show(e.message);
    } catch (const std::exception& e) {
        report.show(e.what());
    } catch (...) {
        report.show("Unknown error");
    }
}

}  // namespace tarrow
