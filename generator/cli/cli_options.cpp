#include "generator/cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace tarrowmgr {
namespace {

// The help text: the description (usage line first), one line per option with its text at
// column 22, then the footer.
class HelpLayout : public CLI::FormatterBase {
public:
    std::string make_help(const CLI::App* app, std::string, CLI::AppFormatMode) const override {
        constexpr std::size_t kColumn = 22;
        std::string out = app->get_description();
        for (const CLI::Option* option : app->get_options()) {
            std::string label = "  --" + option->get_lnames().front();
            if (!option->get_option_text().empty()) label += " " + option->get_option_text();
            if (label.size() < kColumn) label.resize(kColumn, ' ');
            out += label + option->get_description() + "\n";
        }
        return out + app->get_footer();
    }
};

struct TextOption {
    const char* name;
    const char* valueName;
    const char* description;
    std::string GeneratorInputs::*field;
};

constexpr TextOption kTextOptions[] = {
    {"--user-name", "TEXT", "base user name, the user number is appended (ElmfordTestUser)",
     &GeneratorInputs::userName},
    {"--password", "TEXT", "password (kemp)", &GeneratorInputs::password},
    {"--tree", "TEXT", "directory server address or tree name (127.0.0.1)", &GeneratorInputs::tree},
    {"--context", "TEXT", "context (Users.Engineering.Elmford.Vantric)", &GeneratorInputs::context},
    {"--server-name", "TEXT", "server name (NotUsed)", &GeneratorInputs::serverName},
    {"--timeout", "TEXT", "time-out in seconds, the users file's last field (1)", &GeneratorInputs::timeout},
    {"--num-users", "TEXT", "number of users (10)", &GeneratorInputs::numUsers},
    {"--working-dir", "DIR", "folder that receives the files (~/TarrowMgr/)", &GeneratorInputs::workingDir},
    {"--csv-file", "NAME", "users-file name, relative to the working folder or absolute (Users.csv)",
     &GeneratorInputs::csvFile},
    {"--broadcast", "ADDR", "broadcast address for both INI files (127.255.255.255)",
     &GeneratorInputs::broadcast},
};

// The command line on CLI11, with the options in the order of the help text.
struct CommandLine {
    CLI::App app;
    bool version = false;

    explicit CommandLine(GeneratorInputs& inputs) {
        app.description(
            "Usage: TarrowMgrCli [options]\n"
            "Writes the users file, TarrowCtrl.ini and Tarrow.ini into the working folder.\n"
            "\n"
            "Options:\n");
        app.footer("\nOn a failure the reason goes to standard error and the exit status is 1.\n");
        app.formatter(std::make_shared<HelpLayout>());
        app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        for (const TextOption& option : kTextOptions) {
            app.add_option(option.name, inputs.*(option.field), option.description)->option_text(option.valueName);
            if (std::string_view(option.name) == "--timeout") {
                app.add_flag("--random", inputs.random, "a random time-out of 1 to 60 on every line instead");
            }
        }
        app.add_flag("--version", version, "the version information");
        app.set_help_flag("--help,-h", "this text");
    }
};

// The arguments as CLI11's parse takes them (the last first), with "--name=" passed as "--name"
// and an empty value: CLI11 itself would take the next argument as the value.
std::vector<std::string> cli11Arguments(const std::vector<std::string>& args) {
    std::vector<std::string> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        if (it->size() > 3 && it->starts_with("--") && it->back() == '=' && it->find('=') == it->size() - 1) {
            reversed.emplace_back();
            reversed.push_back(it->substr(0, it->size() - 1));
        } else {
            reversed.push_back(*it);
        }
    }
    return reversed;
}

CliCommand failure(std::string error) {
    CliCommand command;
    command.kind = CliCommand::Kind::Error;
    command.error = std::move(error);
    return command;
}

}  // namespace

CliCommand parseCliOptions(const std::vector<std::string>& args, GeneratorInputs defaults) {
    CliCommand command;
    command.inputs = std::move(defaults);
    CommandLine line(command.inputs);
    line.app.allow_extras();
    try {
        line.app.parse(cli11Arguments(args));
    } catch (const CLI::CallForHelp&) {
        command.kind = CliCommand::Kind::Help;
        return command;
    } catch (const CLI::ArgumentMismatch& e) {
        const std::string text = e.what();
        return failure("option " + text.substr(0, text.find(':')) + " needs a value");
    } catch (const CLI::ParseError& e) {
        return failure(e.what());
    }
    if (!line.app.remaining().empty()) return failure("unknown option: " + line.app.remaining().front());
    if (line.version) command.kind = CliCommand::Kind::Version;
    return command;
}

std::string cliUsage() {
    GeneratorInputs inputs;
    return CommandLine(inputs).app.help();
}

}  // namespace tarrowmgr
