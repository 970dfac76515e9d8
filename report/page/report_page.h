// The self-contained HTML page of a run's report: the report's JSON, the page's script and
// the charting library inlined into one file that opens with no network.
#pragma once

#include <string>
#include <string_view>

namespace tarrow::report {

// The page for reportJson (the text of report.json). A live page carries no data of its own:
// it draws what its server pushes at "events" (server-sent events, one report per message).
std::string reportPageHtml(std::string_view reportJson);
std::string livePageHtml();

// Writes reportPageHtml(reportJson) to path. Returns an empty string on success, otherwise
// what could not be done and why ("writing DIR/report.html failed: No space left on device").
std::string writeReportPage(const std::string& path, std::string_view reportJson);

}  // namespace tarrow::report
