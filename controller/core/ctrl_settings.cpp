#include "controller/core/ctrl_settings.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <optional>

namespace tarrow::ctrl {
namespace {

// Whole decimal number within [minValue, maxValue]; nothing else is accepted.
std::optional<std::int64_t> parseWhole(const std::string& text, std::int64_t minValue,
                                       std::int64_t maxValue) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < minValue || value > maxValue)
        return std::nullopt;
    return value;
}

}  // namespace

std::string usageText() {
    return "Usage: TarrowCtrl [options]\n"
           "Answers the clients' discovery broadcasts, hands each connected client one credential\n"
           "packet at a time from the users file, and reports every reply.\n"
           "\n"
           "  --ini FILE            controller INI file (default: TarrowCtrl.ini beside the program);\n"
           "                        its UserFile is taken relative to the INI file's folder\n"
           "  --csv FILE            write every reply as a CSV row to FILE\n"
           "  --count N             stop after N replies\n"
           "  --duration S          stop after S seconds\n"
           "  --reply-timeout S     drop a client whose reply takes longer than S seconds (default 150)\n"
           "  --reply-quiet-ms MS   silence that ends an error-message reply (default 50)\n"
           "  --max-clients N       refuse connections beyond N (default 4096)\n"
           "  --discovery-port P    UDP port for \"DISCOVER\" (default 2308; 0: any free port)\n"
           "  --answer-port P       UDP port the answer is sent to (default 2309)\n"
           "  --control-port P      TCP port of the control channel (default 2308; 0: any free port)\n"
           "  --report DIR          write DIR/report.json and DIR/logins.csv at the end of the run\n"
           "  --no-timings          do not ask the clients for the timings of their logins\n"
           "  --timings-wait-ms MS  wait for a client to accept the timings request before its\n"
           "                        first packet (default 250)\n"
           "  --outage-min-failures N  unsuccessful replies in a row that count as an outage\n"
           "                        (default 3)\n"
           "  --quiet               no progress lines\n"
           "  --help                this text\n"
           "\n"
           "Progress goes to standard error once a second, the summary to standard output at the\n"
           "end. SIGINT or SIGTERM stops the run cleanly. Exit status: 0 after a run, 1 when a port\n"
           "cannot be opened, 2 for bad options or configuration.\n";
}

ParseResult parseCommandLine(const std::vector<std::string>& args) {
    CtrlSettings s;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") return ShowHelp{};
        if (name == "--quiet") {
            s.quiet = true;
            continue;
        }
        if (name == "--no-timings") {
            s.askTimings = false;
            continue;
        }
        static const char* const valueOptions[] = {
            "--ini", "--csv", "--count", "--duration", "--reply-timeout", "--reply-quiet-ms",
            "--max-clients", "--discovery-port", "--answer-port", "--control-port", "--report",
            "--timings-wait-ms", "--outage-min-failures"};
        if (std::find(std::begin(valueOptions), std::end(valueOptions), name) == std::end(valueOptions))
            return UsageError{"unknown option " + name};
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return UsageError{"option " + name + " needs a value"};
        }
        auto whole = [&](std::int64_t lo, std::int64_t hi) { return parseWhole(value, lo, hi); };
        auto bad = [&](const std::string& what) {
            return UsageError{"option " + name + ": \"" + value + "\" is not " + what};
        };
        constexpr std::int64_t maxSeconds = 10LL * 365 * 24 * 3600;
        if (name == "--ini") {
            if (value.empty()) return bad("a file name");
            s.iniPath = value;
        } else if (name == "--csv") {
            if (value.empty()) return bad("a file name");
            s.csvPath = value;
        } else if (name == "--report") {
            if (value.empty()) return bad("a folder name");
            s.reportDir = value;
        } else if (name == "--timings-wait-ms") {
            auto v = whole(1, 60'000);
            if (!v) return bad("a number of milliseconds from 1 to 60000");
            s.timingsWaitMs = *v;
        } else if (name == "--outage-min-failures") {
            auto v = whole(1, 1'000'000);
            if (!v) return bad("a number from 1 to 1000000");
            s.outageMinFailures = static_cast<std::uint64_t>(*v);
        } else if (name == "--count") {
            auto v = whole(1, std::numeric_limits<std::int64_t>::max());
            if (!v) return bad("a positive whole number");
            s.stopAfterReplies = static_cast<std::uint64_t>(*v);
        } else if (name == "--duration") {
            auto v = whole(1, maxSeconds);
            if (!v) return bad("a positive number of seconds");
            s.stopAfterMs = *v * 1000;
        } else if (name == "--reply-timeout") {
            auto v = whole(1, maxSeconds);
            if (!v) return bad("a positive number of seconds");
            s.replyTimeoutMs = *v * 1000;
        } else if (name == "--reply-quiet-ms") {
            auto v = whole(1, 60'000);
            if (!v) return bad("a number of milliseconds from 1 to 60000");
            s.replyQuietMs = *v;
        } else if (name == "--max-clients") {
            auto v = whole(1, 1'000'000);
            if (!v) return bad("a number from 1 to 1000000");
            s.maxClients = static_cast<std::uint32_t>(*v);
        } else if (name == "--discovery-port" || name == "--answer-port" ||
                   name == "--control-port") {
            const bool mayBeZero = name != "--answer-port";
            auto v = whole(mayBeZero ? 0 : 1, 65535);
            if (!v) return bad(mayBeZero ? "a port from 0 to 65535" : "a port from 1 to 65535");
            const auto port = static_cast<std::uint16_t>(*v);
            if (name == "--discovery-port") s.discoveryPort = port;
            else if (name == "--answer-port") s.answerPort = port;
            else s.controlPort = port;
        } else {
            return UsageError{"unknown option " + name};
        }
    }
    return s;
}

std::uint32_t clientsWithinDescriptors(std::uint32_t maxClients, std::uint64_t descriptorLimit) {
    if (descriptorLimit <= kReservedDescriptors) return 1;
    const std::uint64_t fit = descriptorLimit - kReservedDescriptors;
    return fit < maxClients ? static_cast<std::uint32_t>(fit) : maxClients;
}

}  // namespace tarrow::ctrl
