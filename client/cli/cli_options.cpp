#include "client/cli/cli_options.h"

#include <charconv>
#include <memory>

#include "common/cli_help.h"

namespace tarrow::cli {
namespace {

std::optional<std::uint16_t> parsePort(const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string portError(const std::string& option) { return option + " needs a port number from 0 to 65535"; }
std::string controlPortError() { return "--control-port needs a port number from 1 to 65535"; }

// The command line's options; values land in options, texts of ports in the three strings.
struct CommandLine {
    CLI::App app;
    std::string discoverPort;
    std::string answerPort;
    std::string controlPort;
    std::string webPort;

    explicit CommandLine(CliOptions& options) {
        app.description(
            "Usage: TarrowCli [--ini FILE] [--batch [--report DIR]] [--no-timings]\n"
            "The workload client without a window. Log lines go to standard output; status texts,\n"
            "countdown texts and errors go to standard error as \"status: \", \"label: \" and \"error: \".\n"
            "\n");
        app.formatter(std::make_shared<HelpLayout>(
            std::vector<HelpLayout::Group>{{"Options", 16, "Options:\n"},
                                           {"Watching", 21, "\nWatching a batch run (docs/metrics.md):\n"},
                                           {"Test options", 22,
                                            "\nWithout --batch the client runs in client mode until SIGINT "
                                            "or SIGTERM.\n\nTest options:\n"}}));
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        app.add_option("--ini", options.iniPath,
                       "read FILE instead of the program path with \".INI\" (when that file is\n"
                       "missing: Tarrow.INI beside the program, in any letter case)")
            ->option_text("FILE")
            ->check(CLI::Validator([](std::string& v) { return v.empty() ? "--ini needs a file name" : ""; },
                                   ""));
        app.add_flag("--batch", options.batch,
                     "run one batch run over the users file the INI names and exit:\n"
                     "status 0 when the run completed, 1 when the file could not be read");
        app.add_flag_callback(
            "--no-timings", [&options] { options.offerTimings = false; },
            "ignore a controller's request for the timings of each login, as a\n"
            "client without that extension does (also TARROW_TIMINGS=off)");
        app.add_option("--report", options.reportDir,
                       "with --batch: also write DIR/report.json (counts, latency percentiles\n"
                       "of each login and of its phases, per second, TCP counters) and\n"
                       "DIR/logins.csv (one row per login); DIR is made when missing, and\n"
                       "one that cannot be written stops the program before any login\n"
                       "(status 3). SIGINT or SIGTERM ends the run after the login under\n"
                       "way, with its report written")
            ->option_text("DIR")
            ->check(CLI::Validator(
                [](std::string& v) { return v.empty() ? "--report needs a folder name" : ""; }, ""));
        app.add_option("--monitor", options.monitorUri,
                       "with --batch: read the directory's own counters (cn=Monitor) at URI\n"
                       "once a second into the report and /metrics")
            ->option_text("URI")
            ->group("Watching");
        app.add_option("--monitor-bind", options.monitorBindDn,
                       "bind DN for --monitor (anonymous without); the password comes\n"
                       "from TARROW_MONITOR_PASSWORD")
            ->option_text("DN")
            ->group("Watching");
        app.add_option("--web", webPort,
                       "with --batch: show the run as it goes, and its metrics for\n"
                       "Prometheus at /metrics, on http://127.0.0.1:PORT/ (0: any free port)")
            ->option_text("PORT")
            ->group("Watching")
            ->check(CLI::Validator(
                [](std::string& v) { return parsePort(v) ? std::string() : portError("--web"); }, ""));
        app.add_option("--web-hold", options.webHoldS,
                       "with --web: keep the page and /metrics up S seconds after the run")
            ->option_text("S")
            ->group("Watching")
            ->check(CLI::Range(0, 3600));
        app.set_help_flag("--help,-h", "show this text");
        for (auto [name, text, description] :
             {std::tuple{"--discover-port", &discoverPort, "send announcements to UDP port N instead of 2308"},
              std::tuple{"--answer-port", &answerPort,
                         "receive answers on UDP port N instead of 2309 (0: any free port);\n"
                         "with --batch a busy answer port is replaced by a free one"}}) {
            const std::string option = name;
            app.add_option(option, *text, description)
                ->option_text("N")
                ->group("Test options")
                ->check(CLI::Validator(
                    [option](std::string& v) { return parsePort(v) ? std::string() : portError(option); },
                    ""));
        }
        // A connection needs a port of its own: 0 names none.
        app.add_option("--control-port", controlPort,
                       "connect the control channel to TCP port N of the controller that\n"
                       "answered, instead of 2308 (TarrowCtrl --control-port)")
            ->option_text("N")
            ->group("Test options")
            ->check(CLI::Validator(
                [](std::string& v) {
                    const auto port = parsePort(v);
                    return port && *port != 0 ? std::string() : controlPortError();
                },
                ""));
    }
};

}  // namespace

ParsedOptions parseCliOptions(const std::vector<std::string>& args) {
    CliOptions options;
    CommandLine line(options);
    line.app.allow_extras();
    try {
        line.app.parse(cli11Arguments(args));
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return {options, {}};
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string option = optionNamedBy(e);
        if (option == "--ini") return {std::nullopt, "--ini needs a file name"};
        if (option == "--report") return {std::nullopt, "--report needs a folder name"};
        if (option == "--control-port") return {std::nullopt, controlPortError()};
        if (option == "--monitor" || option == "--monitor-bind" || option == "--web-hold")
            return {std::nullopt, option + " needs a value"};
        return {std::nullopt, portError(option)};
    } catch (const CLI::ValidationError& e) {
        // The validators' own texts follow the option's name.
        const std::string text = e.what();
        return {std::nullopt, text.substr(text.find(": ") + 2)};
    } catch (const CLI::ParseError& e) {
        return {std::nullopt, e.what()};
    }
    if (!line.app.remaining().empty()) {
        return {std::nullopt, "unknown option " + line.app.remaining().front() + " (see --help)"};
    }
    if (!options.reportDir.empty() && !options.batch) return {std::nullopt, "--report needs --batch"};
    if (!line.webPort.empty()) options.webPort = *parsePort(line.webPort);
    if ((!options.monitorUri.empty() || options.webPort >= 0) && !options.batch)
        return {std::nullopt,
                std::string(options.monitorUri.empty() ? "--web" : "--monitor") + " needs --batch"};
    if (!options.monitorBindDn.empty() && options.monitorUri.empty())
        return {std::nullopt, "--monitor-bind needs --monitor"};
    if (options.webHoldS > 0 && options.webPort < 0) return {std::nullopt, "--web-hold needs --web"};
    if (!line.discoverPort.empty()) options.discoverPort = *parsePort(line.discoverPort);
    if (!line.answerPort.empty()) {
        options.answerPort = *parsePort(line.answerPort);
        options.answerPortGiven = true;
    }
    if (!line.controlPort.empty()) options.controlPort = *parsePort(line.controlPort);
    return {options, {}};
}

std::string cliUsage() {
    CliOptions options;
    return CommandLine(options).app.help();
}

}  // namespace tarrow::cli
