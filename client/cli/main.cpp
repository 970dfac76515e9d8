// Program entry of TarrowCli: the client's form logic without a window.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QFile>
#include <pthread.h>
#include <chrono>
#include <csignal>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "client/app/TrwU.h"
#include "client/app/client_settings.h"
#include "client/cli/batch_stop.h"
#include "client/cli/batch_watch.h"
#include "client/cli/capacity_run.h"
#include "client/cli/cli_options.h"
#include "client/cli/console_controls.h"
#include "client/qt/client_platform.h"
#include "client/ports/error_report.h"
#include "client/app/timings_switch.h"
#include "client/qt/loop_guard.h"
#include "client/report/batch_report.h"
#include "common/file_lookup.h"
#include "common/monitor/directory_summary.h"
#include "common/monitor/ldap_monitor_source.h"
#include "common/qt/signal_pipe.h"

namespace {

using namespace tarrow::cli;

// Exit statuses.
constexpr int kOk = 0;
constexpr int kBatchFailed = 1;
constexpr int kBadOptions = 2;
constexpr int kStartFailed = 3;

std::unique_ptr<tarrow::qt::ClientPlatform> makePlatform(const CliOptions& options, ConsoleOutput& out) {
    try {
        return std::make_unique<tarrow::qt::ClientPlatform>(options.discoverPort, options.answerPort);
    } catch (const tarrow::SocketError& e) {
        // A batch run never needs answers: a port another client holds is no reason to stop.
        if (!options.batch || options.answerPortGiven) throw;
        out.notice("error", std::string(e.what()) + "; answers are taken on a free port instead");
        return std::make_unique<tarrow::qt::ClientPlatform>(options.discoverPort, 0);
    }
}

// The program path with ".INI" as the window does; when there is none, the window's own INI file
// beside the program (Tarrow.INI, or the generated Tarrow.ini), so that both front ends share it.
std::string defaultIniPath() {
    const std::string program = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    if (auto own = tarrow::findFileAnyCase(std::filesystem::path(program).replace_extension(".INI").string())) {
        return *own;
    }
    return tarrow::clientIniPath((std::filesystem::path(program).parent_path() / "Tarrow").string());
}

std::int64_t utcNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Blocks SIGPIPE on this thread, and on every thread it starts, while it lives.
class BlockedSigpipe {
public:
    BlockedSigpipe() {
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous_);
    }
    ~BlockedSigpipe() {
        // A SIGPIPE raised meanwhile goes with the block, so that restoring the mask does
        // not deliver it.
        sigset_t pipeOnly;
        sigemptyset(&pipeOnly);
        sigaddset(&pipeOnly, SIGPIPE);
        const timespec noWait{0, 0};
        if (sigismember(&previous_, SIGPIPE) != 1) {
            while (sigtimedwait(&pipeOnly, nullptr, &noWait) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    BlockedSigpipe(const BlockedSigpipe&) = delete;
    BlockedSigpipe& operator=(const BlockedSigpipe&) = delete;

private:
    sigset_t previous_;
};

// The paced run: its load on standard error before the first login, how closely it held its
// rate and whether the generator fell behind after the last.
std::optional<tarrow::BatchTally> runPacedBatch(const tarrow::load::LoadPlan& plan, TfrmTrwMain& form,
                                                ConsoleOutput& out, tarrow::BatchObserver* watch,
                                                tarrow::BatchReport* report, const std::atomic<bool>& stop) {
    out.notice("load", tarrow::load::planText(plan));
    // SIGPIPE blocked on the workers (they inherit the mask): the directory libraries then
    // spare the system calls that guard each write, and a closed standard output is a failed
    // write (status 1) rather than the end of the program.
    const BlockedSigpipe blocked;
    tarrow::load::SteadyLoadClock clock;
    tarrow::PacedBatchRun run = form.pacedBatch(plan, clock);
    std::optional<tarrow::BatchTally> tally;
    form.guarded([&] { tally = run.run(form.workloadUsersFile, watch, &stop); });
    out.flush();
    if (report) report->setLoad(run.loadJson());
    if (!tally) return tally;
    out.notice("load", tarrow::load::figuresText(run.timeline()));
    if (const auto held = run.rateHeld()) out.notice("load", held->text());
    if (const std::string warning = run.timeline().behindWarning(); !warning.empty())
        out.notice("warning", warning);
    return tally;
}

// --batch with --report DIR, --web PORT or --monitor URI: the batch run watched by its
// report, which is written however the run ends, by the live page and by the directory's
// counters; a folder that cannot be written, or a port that cannot be listened on, stops
// the program before any login.
int runWatchedBatch(const CliOptions& options, TfrmTrwMain& form, ConsoleOutput& out,
                    const tarrow::MonotonicClock& clock) {
    // The sampler starts with the run (BatchWatch); the report reads it at the end.
    std::unique_ptr<tarrow::monitor::MonitorSampler> sampler;
    if (!options.monitorUri.empty()) {
        sampler = tarrow::monitor::makeLdapSampler(
            options.monitorUri, options.monitorBindDn, [&clock] { return clock.nowUs(); },
            [](const std::string& w) { std::fprintf(stderr, "warning: %s\n", w.c_str()); });
    }
    std::unique_ptr<tarrow::BatchReport> report;
    if (!options.reportDir.empty()) {
        try {
            report = std::make_unique<tarrow::BatchReport>(tarrow::BatchReport::Options{
                options.reportDir, form.workloadUsersFile, utcNowMs, "/proc/net", sampler.get()});
        } catch (const tarrow::ReportError& e) {
            out.flush();
            std::fprintf(stderr, "error: --report: %s\n", e.what());
            return kStartFailed;
        }
    }
    std::unique_ptr<tarrow::web::LiveView> live;
    if (options.webPort >= 0) {
        try {
            live = std::make_unique<tarrow::web::LiveView>(static_cast<std::uint16_t>(options.webPort));
        } catch (const std::exception& e) {
            out.flush();
            std::fprintf(stderr, "error: --web: %s\n", e.what());
            return kBatchFailed;
        }
        std::fprintf(stderr, "live view on http://127.0.0.1:%u/\n", static_cast<unsigned>(live->port()));
    }
    tarrow::cli::BatchWatch watch(report.get(), std::move(sampler), std::move(live),
                                  [&clock] { return clock.nowUs(); });
    BatchStopSignals stopSignals;
    int status = kOk;
    if (options.capacity) {
        // As for a paced run: the workers inherit the blocked SIGPIPE.
        const BlockedSigpipe blocked;
        const std::optional<int> workers = options.load ? std::optional<int>(options.load->workers)
                                                        : std::nullopt;
        status = runCapacitySearch(*options.capacity, workers, form, out, &watch, report.get(),
                                   stopSignals.stopRequested());
    } else {
        std::optional<tarrow::BatchTally> tally;
        if (options.load) {
            watch.setLoadPlan(*options.load);
            tally = runPacedBatch(*options.load, form, out, &watch, report.get(), stopSignals.stopRequested());
        } else {
            form.guarded([&] { tally = form.runBatch(&watch, &stopSignals.stopRequested()); });
            out.flush();
        }
        status = tally && tally->fileRead ? kOk : kBatchFailed;
    }
    if (watch.sampler())
        std::fprintf(stderr, "directory: %s\n",
                     tarrow::monitor::directorySummary(watch.sampler()->state()).c_str());
    if (report) {
        try {
            report->finish();
            std::fprintf(stderr, "report: %s\n",
                         (std::filesystem::path(options.reportDir) / "report.html").c_str());
        } catch (const tarrow::ReportError& e) {
            std::fprintf(stderr, "error: --report: %s\n", e.what());
            status = kBatchFailed;
        }
    }
    if (options.webPort >= 0 && options.webHoldS > 0) {
        std::fprintf(stderr, "the live view stays up %d s\n", options.webHoldS);
        std::this_thread::sleep_for(std::chrono::seconds(options.webHoldS));
    }
    stopSignals.endBySignal();
    return status;
}

int run(const CliOptions& options) {
    ConsoleOutput out;
    ConsoleErrorReport report(out);
    tarrow::qt::setLoopErrorReport(&report);
    struct ResetReport {
        ~ResetReport() { tarrow::qt::setLoopErrorReport(nullptr); }
    } resetReport;

    const std::unique_ptr<tarrow::qt::ClientPlatform> platform = makePlatform(options, out);
    ConsoleFormWindow window([] { QCoreApplication::quit(); });
    ConsoleEditBox user, passwd, tree, context, server;
    ConsoleComboBox vendor, function;
    ConsoleLabel funcTimer(out);
    ConsoleButton execute;
    ConsoleMenuItem optionsBatch(false), optionsClient(true);
    ConsoleLogPane debug(out);
    ConsoleStatusBar status(out);
    const std::string iniPath = !options.iniPath.empty() ? options.iniPath : defaultIniPath();

    TfrmTrwMain form(TrwPorts{
        .window = window,
        .edtUser = user,
        .edtPasswd = passwd,
        .edtTree = tree,
        .edtContext = context,
        .edtServer = server,
        .cmbVendor = vendor,
        .cmbFunction = function,
        .lblFuncTimer = funcTimer,
        .btnExecute = execute,
        .miOptionsBatch = optionsBatch,
        .miOptionsClient = optionsClient,
        .memDebug = debug,
        .statBar = status,
        .timeDiscover = platform->timeDiscover,
        .timeEvent = platform->timeEvent,
        .timeCountdown = platform->timeCountdown,
        .sktOutput = platform->sktOutput,
        .sktInput = platform->sktInput,
        .tcpTransport = platform->tcpTransport,
        .hostNames = platform->hostNames,
        .monotonicClock = platform->sources.monotonicClock,
        .wallClock = platform->sources.wallClock,
        .random = platform->sources.random,
        .errorReport = report,
        .iniPath = iniPath,
        .controlPort = options.controlPort,
    });
    form.offerTimings = options.offerTimings && tarrow::timingsOfferedByEnvironment();
    out.flush();

    if (options.batch) {
        int batchStatus = kOk;
        if (!options.reportDir.empty() || options.webPort >= 0 || !options.monitorUri.empty() ||
            options.load || options.capacity) {
            batchStatus = runWatchedBatch(options, form, out, platform->sources.monotonicClock);
        } else {
            // Status 0 only when the users file was read to its end; an error that ends the run
            // early (reported as "error: ...") leaves no tally.
            std::optional<tarrow::BatchTally> tally;
            form.guarded([&] { tally = form.runBatch(); });
            out.flush();
            batchStatus = tally && tally->fileRead ? kOk : kBatchFailed;
        }
        // Lines that standard output could not take are lost: the run is not a success.
        if (out.failed()) {
            std::fprintf(stderr, "error: writing standard output failed: %s\n", out.writeError().c_str());
            if (batchStatus == kOk) batchStatus = kBatchFailed;
        }
        return batchStatus;
    }

    // Log lines reach the console whenever the loop has nothing more to do.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&out] { out.flush(); });
    const tarrow::SignalPipe quit([](int) { QCoreApplication::quit(); });
    QCoreApplication::exec();
    // The form goes first: it logs out an open login and closes the connection silently.
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarrow Client"));
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const ParsedOptions parsed = parseCliOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "error: %s\n", parsed.error.c_str());
        return kBadOptions;
    }
    if (parsed.options->help) {
        std::fputs(cliUsage().c_str(), stdout);
        return kOk;
    }
    try {
        return run(*parsed.options);
    } catch (...) {
        std::fprintf(stderr, "error: %s\n", tarrow::currentExceptionText().c_str());
        return kStartFailed;
    }
}
