#include "controller/core/ctrl_settings.h"

#include "common/capacity/capacity_options.h"
#include "common/cli_help.h"
#include "common/load/curve_options.h"

#include <charconv>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string_view>

namespace tarrow::ctrl {
namespace {

// Whole decimal number within [minValue, maxValue]; nothing else is accepted.
std::optional<std::int64_t> parseWhole(const std::string& text, std::int64_t minValue, std::int64_t maxValue) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < minValue || value > maxValue)
        return std::nullopt;
    return value;
}

// One option that takes a value: its name, the value's name in the help, the help text, and
// how the value is checked and stored. An option without a value name is a flag: store gets
// an empty value.
struct ValueOption {
    const char* name;
    const char* valueName;  // nullptr: a flag
    const char* description;
    std::function<std::optional<std::string>(const std::string& value, CtrlSettings& s)> store;  // error or stored
};

constexpr std::int64_t kMaxSeconds = 10LL * 365 * 24 * 3600;

// A whole number within [lo, hi], stored by set; otherwise "is not <what>".
auto whole(std::int64_t lo, std::int64_t hi, const char* what,
           std::function<void(CtrlSettings&, std::int64_t)> set) {
    return [=](const std::string& value, CtrlSettings& s) -> std::optional<std::string> {
        const auto v = parseWhole(value, lo, hi);
        if (!v) return std::string(what);
        set(s, *v);
        return std::nullopt;
    };
}

auto fileName(std::string CtrlSettings::*field, const char* what = "a file name") {
    return [=](const std::string& value, CtrlSettings& s) -> std::optional<std::string> {
        if (value.empty()) return std::string(what);
        s.*field = value;
        return std::nullopt;
    };
}

// A value checked later with the others of its kind; only an empty one is refused here.
auto anyText() {
    return [](const std::string& value, CtrlSettings&) -> std::optional<std::string> {
        if (value.empty()) return std::string("a value");
        return std::nullopt;
    };
}

const std::vector<ValueOption>& valueOptions() {
    static const std::vector<ValueOption> options = {
        {"--ini", "FILE",
         "controller INI file (default: TarrowCtrl.ini beside the program);\n"
         "its UserFile is taken relative to the INI file's folder",
         fileName(&CtrlSettings::iniPath)},
        {"--csv", "FILE", "write every reply as a CSV row to FILE", fileName(&CtrlSettings::csvPath)},
        {"--count", "N", "stop after N replies",
         whole(1, std::numeric_limits<std::int64_t>::max(), "a positive whole number",
               [](CtrlSettings& s, std::int64_t v) { s.stopAfterReplies = static_cast<std::uint64_t>(v); })},
        {"--duration", "S", "stop after S seconds",
         whole(1, kMaxSeconds, "a positive number of seconds",
               [](CtrlSettings& s, std::int64_t v) { s.stopAfterMs = v * 1000; })},
        {"--reply-timeout", "S", "drop a client whose reply takes longer than S seconds (default 150)",
         whole(1, kMaxSeconds, "a positive number of seconds",
               [](CtrlSettings& s, std::int64_t v) { s.replyTimeoutMs = v * 1000; })},
        {"--reply-quiet-ms", "MS", "silence that ends an error-message reply (default 50)",
         whole(1, 60'000, "a number of milliseconds from 1 to 60000",
               [](CtrlSettings& s, std::int64_t v) { s.replyQuietMs = v; })},
        {"--max-clients", "N", "refuse connections beyond N (default 4096)",
         whole(1, 1'000'000, "a number from 1 to 1000000",
               [](CtrlSettings& s, std::int64_t v) { s.maxClients = static_cast<std::uint32_t>(v); })},
        {"--discovery-port", "P", "UDP port for \"DISCOVER\" (default 2308; 0: any free port)",
         whole(0, 65535, "a port from 0 to 65535",
               [](CtrlSettings& s, std::int64_t v) { s.discoveryPort = static_cast<std::uint16_t>(v); })},
        {"--answer-port", "P", "UDP port the answer is sent to (default 2309)",
         whole(1, 65535, "a port from 1 to 65535",
               [](CtrlSettings& s, std::int64_t v) { s.answerPort = static_cast<std::uint16_t>(v); })},
        {"--control-port", "P", "TCP port of the control channel (default 2308; 0: any free port)",
         whole(0, 65535, "a port from 0 to 65535",
               [](CtrlSettings& s, std::int64_t v) { s.controlPort = static_cast<std::uint16_t>(v); })},
        {"--report", "DIR", "write DIR/report.json, DIR/report.html and DIR/logins.csv",
         fileName(&CtrlSettings::reportDir, "a folder name")},
        {"--no-timings", nullptr, "do not ask the clients for the timings of their logins",
         [](const std::string&, CtrlSettings& s) -> std::optional<std::string> {
             s.askTimings = false;
             return std::nullopt;
         }},
        {"--timings-wait-ms", "MS",
         "wait for a client to accept the timings request before its\n"
         "first packet (default 250)",
         whole(1, 60'000, "a number of milliseconds from 1 to 60000",
               [](CtrlSettings& s, std::int64_t v) { s.timingsWaitMs = v; })},
        {"--outage-min-failures", "N",
         "unsuccessful replies in a row that count as an outage\n"
         "(default 3)",
         whole(1, 1'000'000, "a number from 1 to 1000000",
               [](CtrlSettings& s, std::int64_t v) { s.outageMinFailures = static_cast<std::uint64_t>(v); })},
        {"--web", "PORT",
         "show the run as it goes on http://127.0.0.1:PORT/ (0: any\n"
         "free port)",
         whole(0, 65535, "a port from 0 to 65535",
               [](CtrlSettings& s, std::int64_t v) { s.webPort = static_cast<std::int32_t>(v); })},
        {"--web-hold", "S",
         "with --web: keep the page and /metrics up S seconds after the\n"
         "run, so that a scraper takes the final figures (default 0)",
         whole(0, 3600, "a number of seconds from 0 to 3600",
               [](CtrlSettings& s, std::int64_t v) { s.webHoldMs = v * 1000; })},
        {"--monitor", "URI",
         "read the directory's own counters (cn=Monitor) at URI once a\n"
         "second into the report and /metrics",
         fileName(&CtrlSettings::monitorUri, "a URI")},
        {"--monitor-bind", "DN",
         "bind DN for --monitor (anonymous without); the password comes\n"
         "from TARROW_MONITOR_PASSWORD",
         fileName(&CtrlSettings::monitorBindDn, "a DN")},
        // Taken as texts here and checked together after the parse, as TarrowCli does.
        {"--rate", "R",
         "pace the clients: R logins a second over the whole fleet, each\n"
         "timed from when it was due (clients that accept the schedule\n"
         "extension; the others keep their own delays)",
         anyText()},
        {"--rate-file", "FILE",
         "a load curve instead of --rate, one RATE,SECONDS line per step\n"
         "(# starts a comment; a rate of 0 pauses); the run ends with it",
         anyText()},
        {"--arrivals", "KIND", "even (default) or poisson: exponential gaps from a fixed seed", anyText()},
        {"--seed", "N", "the seed of poisson arrivals (default 1)", anyText()},
        {"--find-capacity", "OBJECTIVE",
         "instead of one run, find the highest rate at which the directory\n"
         "meets OBJECTIVE over the fleet: p99<=20ms or p99.9<=50ms,errors<=0.1%\n"
         "(a percentile of the latency from due to end with a bound, and\n"
         "optionally a largest share of failed logins). Steps at a constant\n"
         "rate for the paced clients, doubling from --from until one fails,\n"
         "then bisecting; standard output ends with one line, \"Capacity: ...\";\n"
         "status 0 with a capacity, 1 when even the first rate failed",
         anyText()},
        {"--from", "R", "the first rate of the search (default 10 logins/s)", anyText()},
        {"--precision", "PCT", "end when the bracket is narrower than PCT % of its low end (default 2)",
         anyText()},
        {"--confidence", "C", "of each step's test, from 0.5 to below 1 (default 0.95)", anyText()},
        {"--max-time", "S", "bound the whole search to S seconds (default 180)", anyText()},
        {"--clients", "N",
         "with --find-capacity: start the search when N clients accept\n"
         "pacing (default 1)",
         whole(1, 1'000'000, "a number from 1 to 1000000",
               [](CtrlSettings& s, std::int64_t v) { s.capacityClients = static_cast<std::uint32_t>(v); })},
    };
    return options;
}

// The command line on CLI11: every value option checked as it is read, into settings.
struct CommandLine {
    CLI::App app;
    std::vector<std::string> values = std::vector<std::string>(valueOptions().size());

    explicit CommandLine(CtrlSettings& settings) {
        app.description(
            "Usage: TarrowCtrl [options]\n"
            "Answers the clients' discovery broadcasts, hands each connected client one credential\n"
            "packet at a time from the users file, and reports every reply.\n"
            "\n");
        app.footer(
            "\n"
            "Progress goes to standard error once a second, the summary to standard output at the\n"
            "end. SIGINT or SIGTERM stops the run cleanly. Exit status: 0 after a run, 1 when a port\n"
            "cannot be opened, 2 for bad options or configuration. With --find-capacity: 1 also when\n"
            "no capacity was found.\n");
        app.formatter(
            std::make_shared<HelpLayout>(std::vector<HelpLayout::Group>{{"Options", 24, "Options:\n"}}));
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        for (std::size_t i = 0; i < valueOptions().size(); ++i) {
            const ValueOption& o = valueOptions()[i];
            if (!o.valueName) {
                app.add_flag_callback(
                    o.name, [&o, &settings] { o.store({}, settings); }, o.description);
                continue;
            }
            app.add_option(o.name, values[i], o.description)
                ->option_text(o.valueName)
                ->check(CLI::Validator(
                    [&o, &settings](std::string& value) {
                        const auto error = o.store(value, settings);
                        return error ? "\"" + value + "\" is not " + *error : std::string();
                    },
                    ""));
        }
        app.add_flag("--quiet", settings.quiet, "no progress lines");
        app.set_help_flag("--help,-h", "this text");
    }
};

}  // namespace

std::string usageText() {
    CtrlSettings settings;
    return CommandLine(settings).app.help();
}

namespace {

// A capacity search: its settings, checked against the options it excludes.
ParseResult capacityRun(CtrlSettings s, const capacity::CapacityTexts& search, const load::CurveTexts& curve) {
    if (search.objective.empty()) {
        const std::string error = capacity::settingWithoutObjective(search);
        return UsageError{error.empty() ? "--clients needs --find-capacity" : error};
    }
    for (auto [given, name] :
         {std::pair{!curve.rate.empty(), "--rate"}, std::pair{!curve.rateFile.empty(), "--rate-file"},
          std::pair{!curve.arrivals.empty(), "--arrivals"}, std::pair{!curve.seed.empty(), "--seed"},
          std::pair{s.stopAfterReplies != 0, "--count"}, std::pair{s.stopAfterMs != 0, "--duration"}}) {
        if (given)
            return UsageError{std::string("--find-capacity sets the rate of each step itself: it excludes ") +
                              name};
    }
    if (!s.askTimings)
        return UsageError{"--find-capacity needs the clients' timings (leave out --no-timings)"};
    auto settings = capacity::capacitySettings(search);
    if (auto* error = std::get_if<std::string>(&settings)) return UsageError{*error};
    s.capacity = std::get<capacity::SearchSettings>(std::move(settings));
    // The clients are asked for the schedule extension as for a rate; no login is due before
    // the search's first step sets its own.
    load::LoadPlan plan;
    plan.curve = {{s.capacity->fromPerSecond, load::kMaxStepSeconds}};
    s.pace = std::move(plan);
    return s;
}

}  // namespace

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    CtrlSettings s;
    CommandLine line(s);
    line.app.allow_extras();
    try {
        line.app.parse(cli11Arguments(args));
    } catch (const CLI::CallForHelp&) {
        return ShowHelp{};
    } catch (const CLI::ArgumentMismatch& e) {
        return UsageError{"option " + optionNamedBy(e) + " needs a value"};
    } catch (const CLI::ValidationError& e) {
        return UsageError{"option " + std::string(e.what())};
    } catch (const CLI::ParseError& e) {
        return UsageError{e.what()};
    }
    if (!line.app.remaining().empty()) {
        std::string name = line.app.remaining().front();
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos)
            name.resize(eq);
        return UsageError{"unknown option " + name};
    }
    if (s.webHoldMs > 0 && s.webPort < 0) return UsageError{"option --web-hold needs --web"};
    if (!s.monitorBindDn.empty() && s.monitorUri.empty())
        return UsageError{"option --monitor-bind needs --monitor"};
    load::CurveTexts curve;
    capacity::CapacityTexts search;
    for (std::size_t i = 0; i < valueOptions().size(); ++i) {
        const std::string_view name = valueOptions()[i].name;
        for (auto [option, text] :
             {std::pair{"--rate", &curve.rate}, std::pair{"--rate-file", &curve.rateFile},
              std::pair{"--arrivals", &curve.arrivals}, std::pair{"--seed", &curve.seed},
              std::pair{"--find-capacity", &search.objective}, std::pair{"--from", &search.from},
              std::pair{"--precision", &search.precision}, std::pair{"--confidence", &search.confidence},
              std::pair{"--max-time", &search.maxTime}}) {
            if (name == option) *text = line.values[i];
        }
    }
    if (search.any() || line.app.count("--clients") > 0) return capacityRun(s, search, curve);
    load::LoadPlan plan;
    if (auto error = load::applyCurveOptions(curve, plan)) return UsageError{*error};
    if (plan.openLoop()) {
        if (!s.askTimings)
            return UsageError{"--rate and --rate-file need the clients' timings (leave out --no-timings)"};
        s.pace = std::move(plan);
    }
    return s;
}

std::uint32_t clientsWithinDescriptors(std::uint32_t maxClients, std::uint64_t descriptorLimit) {
    if (descriptorLimit <= kReservedDescriptors) return 1;
    const std::uint64_t fit = descriptorLimit - kReservedDescriptors;
    return fit < maxClients ? static_cast<std::uint32_t>(fit) : maxClients;
}

}  // namespace tarrow::ctrl
