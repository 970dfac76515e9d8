#include "controller/core/ctrl_config.h"

#include "client/app/ini_file.h"
#include "client/directory/credential_line.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tarrow::ctrl {
namespace fs = std::filesystem;

namespace {

std::string lowerCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::string defaultIniPath(const std::string& programPath) {
    const fs::path folder = fs::path(programPath).parent_path();
    const fs::path exact = folder / "TarrowCtrl.ini";
    std::error_code ec;
    if (fs::exists(exact, ec)) return exact.string();
    const std::string wanted = "tarrowctrl.ini";
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (lowerCase(it->path().filename().string()) == wanted && it->is_regular_file(ec))
            return it->path().string();
    }
    return exact.string();
}

std::vector<Credential> parseUsers(const std::string& text, std::vector<std::string>& warnings) {
    std::vector<Credential> out;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    std::string line;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        ++lineNumber;
        line.assign(text, pos, end - pos);
        pos = end + 1;
        std::erase(line, '\r');
        if (line.empty()) continue;
        const auto fields = tarrow::splitCredentialLine(line, 5);
        if (fields.size() < 5) {
            warnings.push_back("line " + std::to_string(lineNumber) + ": fewer than five fields, skipped");
            continue;
        }
        Credential c;
        c.packet = "U";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) c.packet += ',';
            c.packet += fields[i];
        }
        c.userName = fields[0];
        out.push_back(std::move(c));
    }
    return out;
}

CtrlConfig loadConfig(const std::string& iniPath) {
    std::error_code ec;
    if (!fs::is_regular_file(iniPath, ec))
        throw ConfigError{"cannot read INI file \"" + iniPath + "\": no such file (name one with --ini FILE)"};
    const tarrow::IniFile ini = tarrow::IniFile::load(iniPath);

    CtrlConfig config;
    config.iniPath = iniPath;
    config.localBroadcast = ini.readString("General", "Local Broadcast", "127.255.255.255");
    const std::string userFile = ini.readString("General", "UserFile", "");
    if (userFile.empty())
        throw ConfigError{"INI file \"" + iniPath + "\" names no UserFile in section [General]"};
    fs::path users(userFile);
    if (users.is_relative()) users = fs::path(iniPath).parent_path() / users;
    config.usersPath = fs::absolute(users, ec).lexically_normal().string();

    std::ifstream in(config.usersPath, std::ios::binary);
    if (!in) throw ConfigError{"cannot read users file \"" + config.usersPath + "\""};
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ConfigError{"cannot read users file \"" + config.usersPath + "\""};
    config.credentials = parseUsers(text.str(), config.warnings);
    if (config.credentials.empty())
        throw ConfigError{"users file \"" + config.usersPath + "\" holds no line with five fields"};
    return config;
}

}  // namespace tarrow::ctrl
