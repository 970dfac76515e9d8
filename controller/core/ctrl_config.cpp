#include "controller/core/ctrl_config.h"

#include "common/credential_line.h"
#include "common/file_lookup.h"
#include "common/ini_file.h"
#include "common/users_file_reader.h"

#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

namespace tarrow::ctrl {
namespace fs = std::filesystem;

namespace {
std::vector<Credential> readUsersOrThrow(const std::string& path, std::vector<std::string>& warnings);
}  // namespace

std::string defaultIniPath(const std::string& programPath) {
    return fileAnyCase((fs::path(programPath).parent_path() / "TarrowCtrl.ini").string());
}

std::vector<Credential> readUsers(const std::string& path, std::vector<std::string>& warnings) {
    try {
        return readUsersOrThrow(path, warnings);
    } catch (const std::bad_alloc&) {
        // A users file too large for the memory the process may use is a configuration error
        // like any other, not an abort.
        throw ConfigError{"cannot read users file \"" + path + "\": out of memory"};
    }
}

namespace {
std::vector<Credential> readUsersOrThrow(const std::string& path, std::vector<std::string>& warnings) {
    // Only a regular file: a FIFO without a writer would block start-up for ever, and a
    // device such as /dev/zero never ends.
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))
        throw ConfigError{"cannot read users file \"" + path + "\": not a regular file"};
    UsersFileReader reader;
    if (!reader.open(path))
        throw ConfigError{"cannot read users file \"" + path + "\": " + reader.errorText()};
    std::vector<Credential> out;
    for (UsersFileReader::Read r; (r = reader.next()) != UsersFileReader::Read::End;) {
        const std::string where = "line " + std::to_string(reader.lineNumber()) + ": ";
        if (r == UsersFileReader::Read::LongLine) {
            warnings.push_back(where + "longer than " + std::to_string(UsersFileReader::kMaxLineChars) +
                               " characters, skipped");
            continue;
        }
        // As a batch run does: the line's text ends at a zero byte, and an empty line is no line.
        const std::string_view line(reader.lineText());
        if (line.empty()) continue;
        const auto fields = tarrow::splitCredentialLine(line, 5);
        if (fields.size() < 5) {
            warnings.push_back(where + "fewer than five fields, skipped");
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
    if (reader.failed()) throw ConfigError{"cannot read users file \"" + path + "\": " + reader.errorText()};
    return out;
}
}  // namespace

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

    config.credentials = readUsers(config.usersPath, config.warnings);
    if (config.credentials.empty())
        throw ConfigError{"users file \"" + config.usersPath + "\" holds no line with five fields"};
    return config;
}

}  // namespace tarrow::ctrl
