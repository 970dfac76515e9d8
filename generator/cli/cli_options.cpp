#include "generator/cli/cli_options.h"

#include <string_view>

namespace tarrowmgr {
namespace {

struct TextOption {
    std::string_view name;
    std::string GeneratorInputs::*field;
};

constexpr TextOption kTextOptions[] = {
    {"--user-name", &GeneratorInputs::userName},
    {"--password", &GeneratorInputs::password},
    {"--tree", &GeneratorInputs::tree},
    {"--context", &GeneratorInputs::context},
    {"--server-name", &GeneratorInputs::serverName},
    {"--timeout", &GeneratorInputs::timeout},
    {"--num-users", &GeneratorInputs::numUsers},
    {"--working-dir", &GeneratorInputs::workingDir},
    {"--csv-file", &GeneratorInputs::csvFile},
    {"--broadcast", &GeneratorInputs::broadcast},
};

CliCommand failure(std::string error)
{
    CliCommand command;
    command.kind = CliCommand::Kind::Error;
    command.error = std::move(error);
    return command;
}

}  // namespace

CliCommand parseCliOptions(const std::vector<std::string>& args, GeneratorInputs defaults)
{
    CliCommand command;
    command.inputs = std::move(defaults);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            command.kind = CliCommand::Kind::Help;
            return command;
        }
        if (arg == "--version") {
            command.kind = CliCommand::Kind::Version;
            return command;
        }
        if (arg == "--random") {
            command.inputs.random = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string_view name = std::string_view(arg).substr(0, equals);
        const TextOption* option = nullptr;
        for (const TextOption& candidate : kTextOptions) {
            if (candidate.name == name)
                option = &candidate;
        }
        if (option == nullptr)
            return failure("unknown option: " + arg);
        if (equals != std::string::npos) {
            command.inputs.*(option->field) = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            command.inputs.*(option->field) = args[++i];
        } else {
            return failure("option " + arg + " needs a value");
        }
    }
    return command;
}

std::string cliUsage()
{
    return "Usage: TarrowMgrCli [options]\n"
           "Writes the users file, TarrowCtrl.ini and Tarrow.ini into the working folder.\n"
           "\n"
           "  --user-name TEXT    base user name, the user number is appended"
           " (ElmfordTestUser)\n"
           "  --password TEXT     password (kemp)\n"
           "  --tree TEXT         directory server address or tree name (127.0.0.1)\n"
           "  --context TEXT      context (Users.Engineering.Elmford.Vantric)\n"
           "  --server-name TEXT  server name (NotUsed)\n"
           "  --timeout TEXT      time-out in seconds, the users file's last field (1)\n"
           "  --random            a random time-out of 1 to 60 on every line instead\n"
           "  --num-users TEXT    number of users (10)\n"
           "  --working-dir DIR   folder that receives the files (~/TarrowMgr/)\n"
           "  --csv-file NAME     users-file name, relative to the working folder"
           " or absolute (Users.csv)\n"
           "  --broadcast ADDR    broadcast address for both INI files (127.255.255.255)\n"
           "  --version           the version information\n"
           "  --help              this text\n"
           "\n"
           "On a failure the reason goes to standard error and the exit status is 1.\n";
}

}  // namespace tarrowmgr
