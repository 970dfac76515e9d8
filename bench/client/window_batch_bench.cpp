// Benchmark: the batch run in the window over a large users file, against the directory
// double. Prints the time of the first and the last 100,000 lines (the log pane must not
// slow down as it fills), the peak memory, and the same run with the log lines dropped as
// the reference for the cost of the window.
// Run: QT_QPA_PLATFORM=offscreen LD_LIBRARY_PATH=<build>/qds/fake window_batch_bench [lines]
#include <sys/resource.h>

#include <QApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "client/qt/window_wiring.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr long kSlice = 100000;

// Forwards every line and notes the time at each slice boundary.
class TimingLogPane final : public tarrow::LogPane {
public:
    explicit TimingLogPane(tarrow::LogPane* inner) : inner_(inner) { marks.push_back(Clock::now()); }
    void append(const std::string& line) override {
        if (inner_) inner_->append(line);
        if (++lines % kSlice == 0) marks.push_back(Clock::now());
    }
    void clear() override {
        if (inner_) inner_->clear();
    }
    long lines = 0;
    std::vector<Clock::time_point> marks;

private:
    tarrow::LogPane* inner_;
};

struct NullReport final : tarrow::ErrorReport {
    void show(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long peakRssMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

struct Figures {
    double totalS = 0, firstS = 0, lastS = 0;
    long lines = 0;
};

// One batch run with the log pane forwarded to inner (nullptr: lines dropped); the run ends
// when the pane holds every line.
Figures runBatch(tarrow::qt::TarrowWindow& window, tarrow::qt::QtLogPane* inner, const std::string& ini) {
    tarrow::qt::ClientPlatform platform(9, 0);
    NullReport report;
    TimingLogPane log(inner);
    TfrmTrwMain form(tarrow::qt::windowPorts(window, platform, report, ini, &log));
    QApplication::processEvents();
    const auto start = Clock::now();
    form.runBatch();
    if (inner) inner->flush();
    const auto end = Clock::now();
    QApplication::processEvents();
    Figures f;
    f.totalS = seconds(end - start);
    f.lines = log.lines;
    if (log.marks.size() >= 3) {
        f.firstS = seconds(log.marks[1] - log.marks[0]);
        f.lastS = seconds(log.marks.back() - log.marks[log.marks.size() - 2]);
    }
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long users = argc > 1 ? std::atol(argv[1]) : 1000000;
    QTemporaryDir dir;
    const std::string usersFile = dir.filePath("users.dat").toStdString();
    const std::string ini = dir.filePath("Tarrow.ini").toStdString();
    {
        std::ofstream out(usersFile);
        for (long i = 1; i <= users; ++i) out << "user" << i << ",secret,127.0.0.1,Users.Vantric,srv,30\n";
        std::ofstream(ini) << "[General]\nLocal Broadcast=127.0.0.1\nWorkloadUsersFile=" << usersFile << "\n";
    }

    tarrow::qt::TarrowWindow window;
    window.show();
    const Figures reference = runBatch(window, nullptr, ini);
    const long rssBefore = peakRssMb();
    const Figures shown = runBatch(window, &window.controls().debug, ini);

    std::printf("batch run over %ld users (%ld log lines)\n", users, shown.lines);
    std::printf("  lines dropped (reference): %8.2f s  %10.0f lines/s\n", reference.totalS,
                static_cast<double>(reference.lines) / reference.totalS);
    std::printf("  lines in the window:       %8.2f s  %10.0f lines/s  (%.2f x the reference)\n", shown.totalS,
                static_cast<double>(shown.lines) / shown.totalS, shown.totalS / reference.totalS);
    std::printf("  first %ld lines: %.3f s, last %ld lines: %.3f s, last/first %.2f (target <= 1.5)\n", kSlice,
                shown.firstS, kSlice, shown.lastS, shown.firstS > 0 ? shown.lastS / shown.firstS : 0.0);
    std::printf("  lines in the pane: %d\n", window.memDebug->blockCount());
    if (const char* dump = std::getenv("TARROW_BENCH_DUMP")) {
        std::ofstream(dump) << window.memDebug->toPlainText().toStdString() << "\n";
    }
    std::printf("  peak memory: %ld MB (%ld MB before the shown run)\n", peakRssMb(), rssBefore);
    return 0;
}
