#include "report/page/report_page.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarrow::report {

// Inlined at build time from report_page.html, report_page.js and the charting library.
extern const std::string_view kPageTemplate;
extern const std::string_view kPageScript;
extern const std::string_view kChartLibrary;

namespace {

constexpr std::string_view kDataMark = "<!--TARROW:DATA-->";
constexpr std::string_view kChartMark = "<!--TARROW:CHARTJS-->";
constexpr std::string_view kScriptMark = "<!--TARROW:SCRIPT-->";

// Inside a script element only "</" can end it early; JSON allows "<\/" for the same text.
std::string scriptSafe(std::string_view json) {
    std::string out;
    out.reserve(json.size() + 16);
    for (std::size_t i = 0; i < json.size(); ++i) {
        out.push_back(json[i]);
        if (json[i] == '<' && i + 1 < json.size() && json[i + 1] == '/') out.push_back('\\');
    }
    return out;
}

void replaceMark(std::string& page, std::string_view mark, std::string_view text) {
    const auto at = page.find(mark);
    if (at != std::string::npos) page.replace(at, mark.size(), text);
}

std::string page(std::string_view data, bool live) {
    std::string html(kPageTemplate);
    // The script last: neither the data nor the library can hold a mark that it would fill.
    replaceMark(html, kDataMark, scriptSafe(data));
    replaceMark(html, kChartMark, kChartLibrary);
    replaceMark(html, kScriptMark, kPageScript);
    if (live) replaceMark(html, "<body>", "<body data-live=\"1\">");
    return html;
}

}  // namespace

std::string reportPageHtml(std::string_view reportJson) { return page(reportJson, false); }

std::string livePageHtml() { return page("", true); }

std::string writeReportPage(const std::string& path, std::string_view reportJson) {
    const std::string html = reportPageHtml(reportJson);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return "writing " + path + " failed: " + std::strerror(errno);
    const bool written = std::fwrite(html.data(), 1, html.size(), file) == html.size();
    const int writeError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed)
        return "writing " + path + " failed: " + std::strerror(written ? errno : writeError);
    return {};
}

}  // namespace tarrow::report
