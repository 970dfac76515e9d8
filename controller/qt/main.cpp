// TarrowCtrl: the controller. Wires the engine to Qt sockets, timers and signals.
#include "common/capacity/capacity_json.h"
#include "common/capacity/capacity_text.h"
#include "common/metrics/run_metrics.h"
#include "common/monitor/directory_summary.h"
#include "common/monitor/ldap_monitor_source.h"
#include "common/qt/signal_pipe.h"
#include "controller/core/control_engine.h"
#include "controller/core/csv_reply_writer.h"
#include "controller/core/ctrl_config.h"
#include "controller/core/ctrl_settings.h"
#include "controller/core/fleet_step_runner.h"
#include "controller/core/json_report.h"
#include "controller/core/logins_csv_writer.h"
#include "controller/core/reports.h"
#include "controller/core/stream_watch.h"
#include "controller/core/system_ctrl_clock.h"
#include "controller/qt/qt_control_server.h"
#include "controller/qt/qt_discovery_responder.h"
#include "common/web/live_view.h"
#include "report/model/report_folder.h"

#include <QCoreApplication>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sys/resource.h>
#include <thread>

using namespace tarrow::ctrl;

namespace {

// Thousands of clients need thousands of descriptors: take what the hard limit allows.
// Returns the limit in force afterwards (0 when it cannot be read).
std::uint64_t raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : static_cast<std::uint64_t>(limit.rlim_cur);
}

// What the report shows of the run's settings.
std::vector<std::pair<std::string, std::string>> reportSettings(const CtrlSettings& s, const CtrlConfig& c) {
    const auto orNone = [](std::int64_t v, const char* none) {
        return v ? std::to_string(v) : std::string(none);
    };
    return {{"users_file", c.usersPath},
            {"ini_file", c.iniPath},
            {"count", orNone(static_cast<std::int64_t>(s.stopAfterReplies), "no limit")},
            {"duration_s", orNone(s.stopAfterMs / 1000, "no limit")},
            {"reply_timeout_s", std::to_string(s.replyTimeoutMs / 1000)},
            {"max_clients", std::to_string(s.maxClients)},
            {"timings", s.askTimings ? "asked" : "not asked (--no-timings)"}};
}

// The figures /metrics serves of a controlled run.
std::string ctrlMetrics(const RunStats& stats, const ControlEngine& engine,
                        const tarrow::monitor::MonitorState* directory) {
    return tarrow::metrics::runMetricsText({.successful = stats.ok,
                                            .failed = stats.failed,
                                            .errors = stats.errors,
                                            .latencies = &stats.logins.latencies,
                                            .clientsConnected = engine.clientCount(),
                                            .indeterminate = stats.lostPackets,
                                            .directory = directory});
}

constexpr int kPollMs = 5;
constexpr int kPacedPollMs = 1;
constexpr int kShutdownGraceMs = 2500;

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseCommandLine(args);
    if (std::holds_alternative<ShowHelp>(parsed)) {
        std::cout << usageText();
        return 0;
    }
    if (const auto* e = std::get_if<UsageError>(&parsed)) {
        std::cerr << "TarrowCtrl: " << e->message << "\nTry TarrowCtrl --help.\n";
        return 2;
    }
    CtrlSettings settings = std::get<CtrlSettings>(parsed);

    // Clients beyond the descriptor limit would wait in the backlog, neither served nor refused.
    if (const std::uint64_t limit = raiseDescriptorLimit(); limit != 0) {
        const std::uint32_t fit = clientsWithinDescriptors(settings.maxClients, limit);
        if (fit < settings.maxClients) {
            std::cerr << "TarrowCtrl: the descriptor limit (" << limit << ") allows " << fit
                      << " clients; --max-clients " << settings.maxClients << " lowered to " << fit << "\n";
            settings.maxClients = fit;
        }
    }
    QCoreApplication app(argc, argv);

    CtrlConfig config;
    try {
        const std::string iniPath = settings.iniPath.empty()
                                      ? defaultIniPath(QCoreApplication::applicationFilePath().toStdString())
                                      : settings.iniPath;
        config = loadConfig(iniPath);
    } catch (const ConfigError& e) {
        std::cerr << "TarrowCtrl: " << e.message << "\n";
        return 2;
    }
    for (const auto& w : config.warnings.texts)
        std::cerr << "TarrowCtrl: " << config.usersPath << ": " << w << "\n";
    if (config.warnings.more)
        std::cerr << "TarrowCtrl: " << config.usersPath << ": " << config.warnings.moreText() << "\n";

    std::ofstream csvFile;
    std::unique_ptr<CsvReplyWriter> csv;
    if (!settings.csvPath.empty()) {
        csvFile.open(settings.csvPath, std::ios::binary | std::ios::trunc);
        if (!csvFile) {
            std::cerr << "TarrowCtrl: cannot write CSV file \"" << settings.csvPath << "\"\n";
            return 2;
        }
        csv = std::make_unique<CsvReplyWriter>(csvFile);
    }

    // The report folder is checked before anything runs, so that a run is never lost to it.
    std::unique_ptr<tarrow::ReportFolder> reportFolder;
    std::unique_ptr<LoginsCsvWriter> logins;
    if (!settings.reportDir.empty()) {
        try {
            reportFolder = std::make_unique<tarrow::ReportFolder>(settings.reportDir,
                                                                  tarrow::kControlledCsvColumns);
        } catch (const tarrow::ReportError& e) {
            std::cerr << "TarrowCtrl: cannot write the report into folder \"" << settings.reportDir
                      << "\": " << e.what() << "\n";
            return 2;
        }
        logins = std::make_unique<LoginsCsvWriter>(*reportFolder);
    }
    // A CSV file whose disk fills is reported when it happens; the run goes on without it.
    std::unique_ptr<StreamWatch> csvWatch;
    if (csv) {
        csvWatch = std::make_unique<StreamWatch>(
            *csv, csvFile, [&settings](const std::string& reason, std::uint64_t rows) {
                std::cerr << "TarrowCtrl: error: writing CSV file \"" << settings.csvPath << "\" failed after "
                          << rows << " rows: " << reason << "; the run goes on without it\n";
            });
    }
    SinkFanOut sinks(csvWatch.get(), logins.get());

    SystemCtrlClock clock;
    RunStats stats(settings.outageMinFailures);
    const std::size_t credentialCount = config.credentials.size();
    const std::int64_t startWallMs = clock.wallMs();
    ControlEngine engine(settings, std::move(config.credentials), clock, stats, &sinks,
                         [](const std::string& line) { std::cerr << "TarrowCtrl: " << line << "\n"; });

    QtControlServer server(engine);
    QtDiscoveryResponder discovery(engine, stats, settings.answerPort);
    QString error;
    if (!server.listenOn(settings.controlPort, error)) {
        std::cerr << "TarrowCtrl: cannot listen on TCP port " << settings.controlPort << ": "
                  << error.toStdString() << "\n";
        return 1;
    }
    if (!discovery.bind(settings.discoveryPort, error)) {
        std::cerr << "TarrowCtrl: cannot bind UDP port " << settings.discoveryPort << ": "
                  << error.toStdString() << "\n";
        return 1;
    }
    std::cerr << "TarrowCtrl: " << credentialCount << " credentials from " << config.usersPath << " (INI "
              << config.iniPath << "; clients broadcast to " << config.localBroadcast << ")\n"
              << "TarrowCtrl: listening on TCP port " << server.port() << ", discovery on UDP port "
              << discovery.port() << ", answers to UDP port " << settings.answerPort << std::endl;

    // The live view serves from threads of its own; the loop only hands it a report a second.
    std::unique_ptr<tarrow::web::LiveView> live;
    if (settings.webPort >= 0) {
        try {
            live = std::make_unique<tarrow::web::LiveView>(static_cast<std::uint16_t>(settings.webPort));
        } catch (const std::exception& e) {
            std::cerr << "TarrowCtrl: " << e.what() << "\n";
            return 1;
        }
        std::cerr << "TarrowCtrl: live view on http://127.0.0.1:" << live->port() << "/" << std::endl;
    }
    // The directory's counters are read on a thread of their own; its first reading is taken
    // before the loop hands out any credential.
    std::unique_ptr<tarrow::monitor::MonitorSampler> monitor;
    if (!settings.monitorUri.empty()) {
        monitor = tarrow::monitor::makeLdapSampler(
            settings.monitorUri, settings.monitorBindDn, [&clock] { return clock.monotonicUs(); },
            [](const std::string& w) { std::cerr << "TarrowCtrl: warning: " << w << std::endl; });
        monitor->start(engine.startUs());
    }
    ReportContext context;
    // The directory's readings as of the latest report (the sampler's thread adds to its own).
    std::optional<tarrow::monitor::MonitorState> directory;
    context.directory = monitor ? &directory.emplace() : nullptr;
    context.usersFile = config.usersPath;
    context.rejectedLines = config.warnings.count();
    context.startWallMs = startWallMs;
    context.settings = reportSettings(settings, config);
    context.hostStart = tarrow::readHostCounters();
    context.pacer = engine.pacer();

    std::unique_ptr<tarrow::SignalPipe> stopSignals;
    try {
        stopSignals = std::make_unique<tarrow::SignalPipe>([&engine, &context](int signo) {
            if (!engine.stopped()) context.interrupted = true;
            engine.stop(tarrow::signalName(signo) + " received");
        });
    } catch (const std::exception& e) {
        std::cerr << "TarrowCtrl: " << e.what() << "\n";
        return 1;
    }
    ProgressMeter progress(engine.startUs());
    std::int64_t shutdownStartUs = -1;

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        engine.poll();
        const std::string line = progress.tick(clock.monotonicUs(), stats, engine.clientCount());
        if (!line.empty()) {
            if (!settings.quiet) std::cerr << line << "\n";
            if (live) {
                context.elapsedUs = clock.monotonicUs() - engine.startUs();
                context.pacedUntilUs = clock.monotonicUs();
                if (monitor) directory = monitor->state();
                live->publish(reportJson(stats, context));
                live->publishMetrics(ctrlMetrics(stats, engine, context.directory));
            }
            if (csvWatch) csvWatch->flush();
            if (reportFolder) reportFolder->flush();
        }
        if (!engine.stopped()) return;
        const std::int64_t now = clock.monotonicUs();
        if (shutdownStartUs < 0) {
            shutdownStartUs = now;
            server.stopListening();
        }
        // Every connection was asked to close; wait (bounded) until they have.
        if (server.openConnections() > 0 && now - shutdownStartUs < kShutdownGraceMs * 1000LL) return;
        poll.stop();
        app.quit();
    });
    // A paced run sends its logins when they are due: the loop looks every millisecond.
    if (engine.pacer()) poll.setTimerType(Qt::PreciseTimer);
    poll.start(engine.pacer() ? kPacedPollMs : kPollMs);

    // A capacity search runs from the loop once it has started; while a step runs, the runner
    // lets the loop go round, its 1 ms poll bounding each turn (fleet_step_runner.h).
    std::unique_ptr<FleetStepRunner> capacityRunner;
    std::optional<tarrow::capacity::SearchResult> capacityResult;
    nlohmann::ordered_json capacitySection;
    if (settings.capacity) {
        const auto notice = [](const std::string& line) {
            std::cerr << "TarrowCtrl: capacity: " << line << std::endl;
        };
        capacityRunner = std::make_unique<FleetStepRunner>(
            engine, clock, settings.capacityClients,
            [&poll] {
                if (poll.isActive()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            },
            notice);
        // Each step has a pacer of its own: the report shows every step's logins instead.
        context.pacer = nullptr;
        context.capacityLogins = capacityRunner.get();
        QTimer::singleShot(0, [&, notice] {
            using namespace tarrow::capacity;
            const SearchSettings& search = *settings.capacity;
            const std::int64_t startUs = clock.monotonicUs();
            notice(searchStartText(search));
            capacityResult = searchCapacity(*capacityRunner, search, [&](const StepRecord& step) {
                notice(stepText(step, search.objective));
            });
            for (const std::string& line :
                 searchEndTexts(*capacityResult, search, clock.monotonicUs() - startUs))
                notice(line);
            capacitySection = capacityJson(*capacityResult, search);
            context.capacity = &capacitySection;
            engine.stop("the capacity search ended");
        });
    }
    app.exec();

    if (csvWatch) csvWatch->flush();
    if (monitor) monitor->stop();
    const std::int64_t endUs = shutdownStartUs >= 0 ? shutdownStartUs : clock.monotonicUs();
    stats.finish(endUs - engine.startUs());
    errno = 0;
    writeSummary(std::cout, stats, endUs - engine.startUs(), engine.stopReason());
    if (engine.pacer() && !settings.capacity) std::cout << engine.pacer()->summaryText(endUs);
    // A search's result is the last line of standard output.
    if (capacityResult)
        std::cout << tarrow::capacity::resultLine(*capacityResult, *settings.capacity) << "\n";
    std::cout.flush();
    int status = capacityResult ? tarrow::capacity::exitStatus(*capacityResult) : 0;
    // A summary that standard output could not take (a full disk, /dev/full) is no summary.
    if (!std::cout) {
        std::cerr << "TarrowCtrl: error: writing the summary to standard output failed: "
                  << (errno != 0 ? std::strerror(errno) : "write error") << "\n";
        status = 1;
    }
    if (csvWatch && csvWatch->failed()) {
        std::cerr << "TarrowCtrl: writing CSV file \"" << settings.csvPath
                  << "\" failed: " << csvWatch->reason() << "\n";
        status = 1;
    }
    if (monitor) {
        directory = monitor->state();
        std::cerr << "TarrowCtrl: directory: " << tarrow::monitor::directorySummary(*directory) << "\n";
    }
    context.pacedUntilUs = endUs;
    if (live) {
        context.elapsedUs = endUs - engine.startUs();
        live->publish(reportJson(stats, context));
        live->publishMetrics(ctrlMetrics(stats, engine, context.directory));
    }
    if (reportFolder) {
        context.elapsedUs = endUs - engine.startUs();
        context.stopReason = engine.stopReason();
        context.hostEnd = tarrow::readHostCounters();
        try {
            reportFolder->finish(reportJson(stats, context));
            std::cerr << "TarrowCtrl: report: " << reportFolder->pagePath().string() << "\n";
        } catch (const tarrow::ReportError& e) {
            std::cerr << "TarrowCtrl: writing the report into folder \"" << settings.reportDir
                      << "\" failed: " << e.what() << "\n";
            status = 1;
        }
    }
    if (live && settings.webHoldMs > 0) {
        std::cerr << "TarrowCtrl: the live view stays up " << settings.webHoldMs / 1000 << " s" << std::endl;
        std::this_thread::sleep_for(std::chrono::milliseconds(settings.webHoldMs));
    }
    return status;
}
