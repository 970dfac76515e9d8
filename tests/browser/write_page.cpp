// Writes report.html for a report.json, as TarrowCli and TarrowCtrl do, for the page checks.
#include <fstream>
#include <iostream>
#include <sstream>

#include "report/page/report_page.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: write_page REPORT_JSON REPORT_HTML\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream json;
    json << in.rdbuf();
    const std::string error = tarrow::report::writeReportPage(argv[2], json.str());
    if (!error.empty()) {
        std::cerr << error << "\n";
        return 1;
    }
    return 0;
}
