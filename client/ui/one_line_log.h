// The log pane as the form writes to it: every message exactly one line, its control bytes
// (a line end in a datagram or packet, an escape sequence) shown as \xNN, in the window and
// on the console alike.
#pragma once

#include <string>

#include "client/ports/controls.h"
#include "common/visible_text.h"

namespace tarrow {

class OneLineLog final : public LogPane {
public:
    explicit OneLineLog(LogPane& pane) : pane_(pane) {}
    void append(const std::string& line) override {
        if (hasControlBytes(line)) {
            pane_.append(visibleText(line));
        } else {
            pane_.append(line);
        }
    }
    void clear() override { pane_.clear(); }

private:
    LogPane& pane_;
};

}  // namespace tarrow
