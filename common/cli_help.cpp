#include "common/cli_help.h"

namespace tarrow {

std::string HelpLayout::make_help(const CLI::App* app, std::string /*name*/, CLI::AppFormatMode /*mode*/) const {
    std::string out = app->get_description();
    for (const Group& group : groups_) {
        out += group.intro;
        for (const CLI::Option* option :
             app->get_options([&](const CLI::Option* o) { return o->get_group() == group.name; })) {
            std::string label = "  --" + option->get_lnames().front();
            if (!option->get_option_text().empty()) label += " " + option->get_option_text();
            // A label too long for the column keeps two spaces before its description.
            if (label.size() + 2 <= group.column) label.resize(group.column, ' ');
            else
                label += "  ";
            out += label;
            for (const char c : option->get_description()) {
                out += c;
                if (c == '\n') out.append(group.column, ' ');
            }
            out += '\n';
        }
    }
    return out + app->get_footer();
}

std::vector<std::string> cli11Arguments(const std::vector<std::string>& args) {
    std::vector<std::string> reversed;
    reversed.reserve(args.size() + 1);
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

std::string optionNamedBy(const CLI::Error& error) {
    const std::string text = error.what();
    return text.substr(0, text.find(':'));
}

}  // namespace tarrow
