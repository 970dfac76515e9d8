#include "report/page/report_page.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace tarrow::report {
namespace {

TEST(ReportPage, InlinesTheDataTheScriptAndTheChartingLibrary) {
    const std::string html = reportPageHtml(R"({"latency_us": {"p50": 512}})");
    EXPECT_EQ(html.find("<!--TARROW:"), std::string::npos) << "a mark was left unfilled";
    EXPECT_NE(html.find(R"({"latency_us": {"p50": 512}})"), std::string::npos);
    EXPECT_NE(html.find("Chart.js v3"), std::string::npos);
    EXPECT_NE(html.find("window.tarrowRender"), std::string::npos);
    // Nothing is fetched: no script or style comes from an address.
    EXPECT_EQ(html.find("src=\"http"), std::string::npos);
    EXPECT_EQ(html.find("href=\"http"), std::string::npos);
}

TEST(ReportPage, AMessageCannotEndTheDataScriptEarly) {
    const std::string html = reportPageHtml(R"({"errors_by_message": {"x</script><b>": 1}})");
    EXPECT_NE(html.find(R"("x<\/script><b>": 1)"), std::string::npos);
    const auto data = html.find("id=\"report-data\">");
    EXPECT_EQ(html.find("</script>", data), html.find("}}</script>", data) + 2);
}

TEST(ReportPage, TheLivePageCarriesNoDataAndListensForUpdates) {
    const std::string html = livePageHtml();
    EXPECT_NE(html.find("<body data-live=\"1\">"), std::string::npos);
    EXPECT_NE(html.find("id=\"report-data\"></script>"), std::string::npos);
}

TEST(ReportPage, AFailedWriteNamesTheFileAndTheReason) {
    TempFolder folder;
    EXPECT_EQ(writeReportPage((folder.path() / "report.html").string(), "{}"), "");
    const std::string missing = (folder.path() / "no" / "report.html").string();
    EXPECT_EQ(writeReportPage(missing, "{}"), "writing " + missing + " failed: No such file or directory");
    EXPECT_EQ(writeReportPage("/dev/full", "{}"), "writing /dev/full failed: No space left on device");
}

}  // namespace
}  // namespace tarrow::report
