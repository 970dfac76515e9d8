#include "client/cli/cli_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>
#include <memory>
#include <variant>

#include "common/capacity/capacity_options.h"
#include "common/cli_help.h"
#include "common/load/curve_options.h"

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

// The options of a chosen load, as texts until they are checked together.
struct LoadTexts {
    std::string workers, rate, rateFile, arrivals, seed, duration;
    bool any() const { return !(workers + rate + rateFile + arrivals + seed + duration).empty(); }
    static constexpr std::array kNames{"--workers",  "--rate", "--rate-file",
                                       "--arrivals", "--seed", "--duration"};
    static bool isLoadOption(const std::string& name) {
        return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
    }
};

constexpr int kMaxWorkers = 1024;

using tarrow::capacity::CapacityTexts;

// The search the capacity options give, or the text of what is wrong with them.
std::variant<tarrow::capacity::SearchSettings, std::string> capacitySettings(const CapacityTexts& t,
                                                                             const LoadTexts& load, bool batch) {
    if (std::string error = tarrow::capacity::settingWithoutObjective(t); !error.empty()) return error;
    if (!batch) return std::string("--find-capacity needs --batch");
    for (auto [text, name] : {std::pair{&load.rate, "--rate"}, std::pair{&load.rateFile, "--rate-file"},
                              std::pair{&load.arrivals, "--arrivals"}, std::pair{&load.seed, "--seed"},
                              std::pair{&load.duration, "--duration"}}) {
        if (!text->empty())
            return std::string("--find-capacity sets the rate of each step itself: it excludes ") + name;
    }
    return tarrow::capacity::capacitySettings(t);
}

std::optional<long long> wholeNumber(const std::string& text, long long low, long long high) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
    return value;
}

// The plan the load options give, or the text of what is wrong with them.
std::variant<tarrow::load::LoadPlan, std::string> loadPlan(const LoadTexts& t, bool batch) {
    using namespace tarrow::load;
    for (auto [text, name] : {std::pair{&t.workers, "--workers"}, std::pair{&t.rate, "--rate"},
                              std::pair{&t.rateFile, "--rate-file"}, std::pair{&t.arrivals, "--arrivals"},
                              std::pair{&t.seed, "--seed"}, std::pair{&t.duration, "--duration"}}) {
        if (!text->empty() && !batch) return std::string(name) + " needs --batch";
    }
    LoadPlan plan;
    if (auto error = applyCurveOptions({t.rate, t.rateFile, t.arrivals, t.seed}, plan)) return *error;
    if (!t.duration.empty()) {
        const auto seconds = parseRate(t.duration);
        if (!seconds) return std::string("--duration needs a number of seconds above 0");
        plan.durationUs = static_cast<std::int64_t>(*seconds * 1e6);
    }
    if (!t.workers.empty()) {
        const auto workers = wholeNumber(t.workers, 1, kMaxWorkers);
        if (!workers) return "--workers needs a number from 1 to " + std::to_string(kMaxWorkers);
        plan.workers = static_cast<int>(*workers);
    } else {
        plan.workers = plan.openLoop() ? defaultWorkers(plan.curve) : 1;
    }
    return plan;
}

// The command line's options; values land in options, texts of ports in the three strings.
struct CommandLine {
    CLI::App app;
    std::string discoverPort;
    std::string answerPort;
    std::string controlPort;
    std::string webPort;
    LoadTexts load;
    CapacityTexts capacity;

    explicit CommandLine(CliOptions& options) {
        app.description(
            "Usage: TarrowCli [--ini FILE] [--batch [--report DIR] [load options]] [--no-timings]\n"
            "The workload client without a window. Log lines go to standard output; status texts,\n"
            "countdown texts and errors go to standard error as \"status: \", \"label: \" and \"error: \".\n"
            "\n");
        app.formatter(std::make_shared<HelpLayout>(std::vector<HelpLayout::Group>{
            {"Options", 16, "Options:\n"},
            {"Watching", 21, "\nWatching a batch run (docs/metrics.md):\n"},
            {"Load options", 22,
             "\nLoad options (without them a batch run makes one login after "
             "another):\n"},
            {"Capacity search", 22, "\nCapacity search (docs/report.md, \"capacity\"):\n"},
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
        const std::string loadGroup = "Load options";
        for (auto [name, text, value, description] :
             {std::tuple{"--workers", &load.workers, "N",
                         "with --batch: N logins at once, each worker with a directory user\n"
                         "and connections of its own (1 to 1024). Without --rate a closed loop:\n"
                         "each worker starts its next login when its last one ended"},
              std::tuple{"--rate", &load.rate, "R",
                         "with --batch: an open loop of R logins per second, due at evenly\n"
                         "spaced times; the next free worker starts each due login, and a\n"
                         "login due while every worker is busy waits for one (that wait is\n"
                         "part of its latency). Workers by default: enough for logins of\n"
                         "50 ms at the peak rate, 1 to 64"},
              std::tuple{"--rate-file", &load.rateFile, "FILE",
                         "with --batch: a load curve instead of --rate, one RATE,SECONDS line\n"
                         "per step (# starts a comment; a rate of 0 pauses); the run ends\n"
                         "with the curve"},
              std::tuple{"--arrivals", &load.arrivals, "KIND",
                         "even (default) or poisson: exponential gaps from a fixed seed"},
              std::tuple{"--seed", &load.seed, "N", "the seed of poisson arrivals (default 1)"},
              std::tuple{"--duration", &load.duration, "S",
                         "with --batch: run for S seconds, reading the users file again from\n"
                         "its start as often as needed (without it the run ends with the file)"}}) {
            app.add_option(name, *text, description)->option_text(value)->group(loadGroup);
        }
        for (auto [name, text, value, description] :
             {std::tuple{"--find-capacity", &capacity.objective, "OBJECTIVE",
                         "with --batch: find the highest rate at which the directory meets\n"
                         "OBJECTIVE, a percentile of the latency from due to end with a bound\n"
                         "and optionally a largest share of failed logins: p99<=20ms or\n"
                         "p99.9<=50ms,errors<=0.1%. Steps at a constant rate, doubling from\n"
                         "--from until one fails, then bisecting; each step runs until a\n"
                         "one-sided test decides. Standard output ends with one line,\n"
                         "\"Capacity: ...\"; status 0 with a capacity, 1 when even the first\n"
                         "rate failed, 2 for a bad objective or setting. --workers sets the\n"
                         "workers of every step (default: enough for logins of 50 ms)"},
              std::tuple{"--from", &capacity.from, "R", "the first rate of the search (default 10 logins/s)"},
              std::tuple{"--precision", &capacity.precision, "PCT",
                         "end when the bracket is narrower than PCT % of its low end\n(default 2)"},
              std::tuple{"--confidence", &capacity.confidence, "C",
                         "of each step's test, from 0.5 to below 1 (default 0.95)"},
              std::tuple{"--max-time", &capacity.maxTime, "S",
                         "bound the whole search to S seconds (default 180)"}}) {
            app.add_option(name, *text, description)->option_text(value)->group("Capacity search");
        }
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
        if (LoadTexts::isLoadOption(option) || CapacityTexts::isCapacityOption(option))
            return {std::nullopt, option + " needs a value (see --help)"};
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
    for (const char* name : LoadTexts::kNames) {
        // "--rate=" and the like: given, but empty.
        if (line.app.count(name) > 0 && line.app.get_option(name)->as<std::string>().empty())
            return {std::nullopt, std::string(name) + " needs a value (see --help)"};
    }
    for (const char* name : CapacityTexts::kNames) {
        if (line.app.count(name) > 0 && line.app.get_option(name)->as<std::string>().empty())
            return {std::nullopt, std::string(name) + " needs a value (see --help)"};
    }
    if (line.capacity.any()) {
        auto settings = capacitySettings(line.capacity, line.load, options.batch);
        if (auto* error = std::get_if<std::string>(&settings)) return {std::nullopt, *error};
        options.capacity = std::get<tarrow::capacity::SearchSettings>(std::move(settings));
    }
    if (line.load.any()) {
        auto plan = loadPlan(line.load, options.batch);
        if (auto* error = std::get_if<std::string>(&plan)) return {std::nullopt, *error};
        options.load = std::get<tarrow::load::LoadPlan>(std::move(plan));
    }
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
