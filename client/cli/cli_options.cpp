#include "client/cli/cli_options.h"

#include <charconv>

namespace tarrow::cli {
namespace {

std::optional<std::uint16_t> parsePort(const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

ParsedOptions parseCliOptions(const std::vector<std::string>& args) {
    CliOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (arg == "--batch") {
            options.batch = true;
        } else if (arg == "--no-timings") {
            options.offerTimings = false;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--ini") {
            const std::string* path = value();
            if (!path || path->empty()) return {std::nullopt, "--ini needs a file name"};
            options.iniPath = *path;
        } else if (arg == "--report") {
            const std::string* dir = value();
            if (!dir || dir->empty()) return {std::nullopt, "--report needs a folder name"};
            options.reportDir = *dir;
        } else if (arg == "--discover-port" || arg == "--answer-port") {
            const std::string* text = value();
            const std::optional<std::uint16_t> port = text ? parsePort(*text) : std::nullopt;
            if (!port) return {std::nullopt, arg + " needs a port number from 0 to 65535"};
            if (arg == "--discover-port") {
                options.discoverPort = *port;
            } else {
                options.answerPort = *port;
                options.answerPortGiven = true;
            }
        } else {
            return {std::nullopt, "unknown option " + arg + " (see --help)"};
        }
    }
    if (!options.reportDir.empty() && !options.batch) return {std::nullopt, "--report needs --batch"};
    return {options, {}};
}

std::string cliUsage() {
    return "Usage: TarrowCli [--ini FILE] [--batch [--report DIR]] [--no-timings]\n"
           "The workload client without a window. Log lines go to standard output; status texts,\n"
           "countdown texts and errors go to standard error as \"status: \", \"label: \" and \"error: \".\n"
           "\n"
           "  --ini FILE   read FILE instead of the program path with \".INI\" (when that file is\n"
           "               missing: Tarrow.INI beside the program, in any letter case)\n"
           "  --batch      run one batch run over the users file the INI names and exit:\n"
           "               status 0 when the run completed, 1 when the file could not be read\n"
           "  --no-timings ignore a controller's request for the timings of each login, as a\n"
           "               client without that extension does (also TARROW_TIMINGS=off)\n"
           "  --report DIR with --batch: also write DIR/report.json (counts, latency percentiles\n"
           "               of each login and of its phases, per second, TCP counters) and\n"
           "               DIR/logins.csv (one row per login); DIR is made when missing, and\n"
           "               one that cannot be written stops the program before any login\n"
           "               (status 3). SIGINT or SIGTERM ends the run after the login under\n"
           "               way, with its report written\n"
           "  --help       show this text\n"
           "\n"
           "Without --batch the client runs in client mode until SIGINT or SIGTERM.\n"
           "\n"
           "Test options:\n"
           "  --discover-port N   send announcements to UDP port N instead of 2308\n"
           "  --answer-port N     receive answers on UDP port N instead of 2309 (0: any free port);\n"
           "                      with --batch a busy answer port is replaced by a free one\n";
}

}  // namespace tarrow::cli
