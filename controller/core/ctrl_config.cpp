#include "controller/core/ctrl_config.h"

#include "common/credential_line.h"
#include "common/file_lookup.h"
#include "common/ini_file.h"
#include "common/users_file_reader.h"

#include <cstdint>
#include <filesystem>
#include <new>
#include <string_view>
#include <system_error>

namespace tarrow::ctrl {
namespace fs = std::filesystem;

namespace {
CredentialStore readUsersOrThrow(const std::string& path, SkippedLines& warnings);
}  // namespace

std::string defaultIniPath(const std::string& programPath) {
    return fileAnyCase((fs::path(programPath).parent_path() / "TarrowCtrl.ini").string());
}

CredentialStore readUsers(const std::string& path, SkippedLines& warnings) {
    try {
        return readUsersOrThrow(path, warnings);
    } catch (const std::bad_alloc&) {
        // A users file too large for the memory the process may use is a configuration error
        // like any other, not an abort.
        throw ConfigError{"cannot read users file \"" + path + "\": out of memory"};
    }
}

namespace {
// A generated line is some 80 bytes; fewer offsets than lines only costs a regrowth or two.
constexpr std::uint64_t kReservedBytesPerLine = 64;

void skip(SkippedLines& warnings, std::size_t lineNumber, const std::string& why) {
    if (warnings.full()) {
        ++warnings.more;
        return;
    }
    warnings.texts.push_back("line " + std::to_string(lineNumber) + ": " + why);
}

CredentialStore readUsersOrThrow(const std::string& path, SkippedLines& warnings) {
    // Only a regular file: a FIFO without a writer would block start-up for ever, and a
    // device such as /dev/zero never ends.
    std::error_code ec;
    const auto status = fs::status(path, ec);
    if (!ec && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status))
        throw ConfigError{"cannot read users file \"" + path + "\": not a regular file"};
    UsersFileReader reader;
    if (!reader.open(path))
        throw ConfigError{"cannot read users file \"" + path + "\": " + reader.errorText()};
    CredentialStore out;
    // No packet is longer than its line with the line feed ("U" stands for it), so the file's
    // size (and one byte for a last line without one) holds them all.
    if (const std::uintmax_t size = fs::file_size(path, ec); !ec) {
        out.reserve(static_cast<std::size_t>(size + 1), static_cast<std::size_t>(size / kReservedBytesPerLine));
    }
    const std::string tooLong = "longer than " + std::to_string(UsersFileReader::kMaxLineChars) +
                                " characters, skipped";
    std::string_view fields[5];
    for (UsersFileReader::Read r; (r = reader.next()) != UsersFileReader::Read::End;) {
        if (r == UsersFileReader::Read::LongLine) {
            skip(warnings, reader.lineNumber(), tooLong);
            continue;
        }
        // As a batch run does: the line's text ends at a zero byte, and an empty line is no line.
        const std::string_view line(reader.lineText());
        if (line.empty()) continue;
        std::size_t count = 0;
        for (std::size_t pos = 0; count < 5; ++count) {
            fields[count] = tarrow::nextCredentialField(line, pos);
            if (fields[count].empty()) break;
        }
        if (count < 5) {
            skip(warnings, reader.lineNumber(), "fewer than five fields, skipped");
            continue;
        }
        out.add(fields);
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
