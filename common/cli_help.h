// The --help text of a program from its CLI11 options, in the layout our programs show: the
// description (which starts with the usage line), then each group of options in a column of
// its own, then the footer.
#pragma once

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>
#include <vector>

namespace tarrow {

class HelpLayout : public CLI::FormatterBase {
public:
    struct Group {
        std::string name;    // the CLI11 group of its options
        std::size_t column;  // where the option texts start
        std::string intro;   // printed before the group's options, the group's title included
    };
    explicit HelpLayout(std::vector<Group> groups) : groups_(std::move(groups)) {}

    // "  --name VALUE" padded to the group's column, then the option's description; every
    // further line of the description starts at that column.
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override;

private:
    std::vector<Group> groups_;
};

// The arguments as CLI11's parse takes them (the last first), with "--name=" passed as "--name"
// and an empty value: CLI11 itself would take the next argument as the value.
std::vector<std::string> cli11Arguments(const std::vector<std::string>& args);

// The long name of the option that a CLI11 error names first ("--ini: 1 required ..." -> "--ini").
std::string optionNamedBy(const CLI::Error& error);

}  // namespace tarrow
