// Lines per second of the batch run over a large users file, against the directory double
// with recording off, beside a reference loop that does only the unavoidable work (read each
// line with std::getline, parse it, run the operation) on the same file. The batch runs twice:
// with a log pane that keeps every line (as a window does), and with one that keeps only the
// last, which measures the form logic alone.
//
//   bench_batch_run [lines]      (default 1,000,000; target: at least 300,000 lines/s)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>

#include "qds/fake/qdsfake.h"
#include "tests/support/form_harness.h"

namespace {

constexpr double kTargetLinesPerSecond = 300'000.0;

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The reference: the least a batch run must do per line.
double referenceSeconds(const std::string& path, long& successful) {
    const auto t0 = std::chrono::steady_clock::now();
    std::ifstream in(path, std::ios::binary);
    DSUser user;
    std::string line;
    successful = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        user.setUserInfo(line.c_str());
        if (user.execute() == 1) ++successful;
    }
    return secondsSince(t0);
}

}  // namespace

namespace {

struct BatchFigures {
    double seconds = 0;
    std::string lastLine;
};

BatchFigures runBatchOnce(const std::string& path, long lines, bool keepLines) {
    tarrow::FormHarness h;
    qdsfake_reset();
    qdsfake_set_recording(0);
    h.memDebug.keepEvents = false;
    h.memDebug.keepLines = keepLines;
    if (keepLines) h.memDebug.lines.reserve(static_cast<std::size_t>(lines) + 8);
    h.form().workloadUsersFile = path;
    h.form().toggleMode();
    const auto t0 = std::chrono::steady_clock::now();
    h.form().btnExecuteClick();
    BatchFigures f;
    f.seconds = secondsSince(t0);
    f.lastLine = keepLines ? (h.log().empty() ? std::string() : h.log().back()) : h.memDebug.lastLine;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::atol(argv[1]) : 1'000'000;
    if (lines <= 0) {
        std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
        return 2;
    }
    tarrow::TempFolder temp;
    std::string content;
    content.reserve(static_cast<std::size_t>(lines) * 66);
    for (long i = 1; i <= lines; ++i) {
        content += "user" + std::to_string(i) + ",password,127.0.0.1,Users.Engineering.Vantric,srv1,300\r\n";
    }
    const std::string path = temp.writeFile("users.dat", content);

    const BatchFigures withLog = runBatchOnce(path, lines, true);
    const BatchFigures logicOnly = runBatchOnce(path, lines, false);
    qdsfake_reset();
    qdsfake_set_recording(0);
    long refSuccessful = 0;
    const double refSeconds = referenceSeconds(path, refSuccessful);

    const std::string expected = "  Successful operations: " + std::to_string(lines);
    if (withLog.lastLine != expected || logicOnly.lastLine != expected || refSuccessful != lines) {
        std::fprintf(stderr, "unexpected result: %s / %s\n", withLog.lastLine.c_str(),
                     logicOnly.lastLine.c_str());
        return 1;
    }
    const auto rate = [&](double seconds) { return static_cast<double>(lines) / seconds; };
    std::printf("lines                         %ld (%.1f MB)\n", lines,
                static_cast<double>(content.size()) / 1e6);
    std::printf("batch run, pane keeps lines   %.3f s  %.0f lines/s\n", withLog.seconds, rate(withLog.seconds));
    std::printf("batch run, logic alone        %.3f s  %.0f lines/s\n", logicOnly.seconds,
                rate(logicOnly.seconds));
    std::printf("reference getline loop        %.3f s  %.0f lines/s\n", refSeconds, rate(refSeconds));
    std::printf("logic alone / reference       %.2f\n", refSeconds / logicOnly.seconds);
    std::printf("form overhead per line        %.2f us (logic alone minus reference)\n",
                (logicOnly.seconds - refSeconds) * 1e6 / static_cast<double>(lines));
    for (const auto& [name, seconds] :
         {std::pair{"pane keeps lines", withLog.seconds}, std::pair{"logic alone", logicOnly.seconds}}) {
        std::printf("%-16s / target 300000/s  %.2f  %s\n", name, rate(seconds) / kTargetLinesPerSecond,
                    rate(seconds) >= kTargetLinesPerSecond ? "met" : "NOT met");
    }
    return 0;
}
