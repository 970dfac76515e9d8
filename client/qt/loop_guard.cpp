#include "client/qt/loop_guard.h"

#include <cstdio>
#include <exception>

#include "client/ports/error_report.h"

namespace tarrow::qt {
namespace {
ErrorReport* loopReport = nullptr;
}

void setLoopErrorReport(ErrorReport* report) { loopReport = report; }

void deliver(const std::function<void()>& callback) {
    if (!callback) return;
    try {
        callback();
    } catch (...) {
        const std::string text = currentExceptionText();
        try {
            if (loopReport) {
                loopReport->show(text);
                return;
            }
        } catch (...) {
            // A failing report falls back to standard error below.
        }
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
}

}  // namespace tarrow::qt
