// The general error report for tests: keeps every text it was asked to show.
#pragma once

#include <string>
#include <vector>

#include "client/ports/error_report.h"

namespace tarrow {

class RecordingErrorReport : public ErrorReport {
public:
    void show(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

}  // namespace tarrow
