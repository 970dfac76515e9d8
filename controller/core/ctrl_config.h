// The controller's INI file and the users file it names.
#pragma once

#include "controller/core/credential_store.h"
#include "controller/core/skipped_lines.h"

#include <string>

namespace tarrow::ctrl {

struct CtrlConfig {
    std::string iniPath;          // the INI file that was read
    std::string localBroadcast;   // "Local Broadcast": where the clients announce themselves
    std::string usersPath;        // "UserFile", resolved against the INI file's folder
    CredentialStore credentials;  // usable users-file lines, in file order
    SkippedLines warnings;        // lines that were skipped, and why
};

// Thrown for configuration that stops the program before it starts.
struct ConfigError {
    std::string message;
};

// "TarrowCtrl.ini" in the program's folder; a name that differs only in letter case is
// accepted when the exact one is absent. Returns the exact name when neither exists.
std::string defaultIniPath(const std::string& programPath);

// Reads the INI file (which must exist) and the users file. Throws ConfigError when either
// cannot be read or the users file holds no usable line.
CtrlConfig loadConfig(const std::string& iniPath);

// Reads the users file with the batch run's rules, so that the controller hands out exactly
// the lines a batch run would run: carriage returns are dropped wherever they stand, a 0x1A
// byte ends the file, a line's text ends at a zero byte, empty lines are skipped; lines longer
// than 254 characters and lines with fewer than five fields are skipped with a warning (a
// batch run skips them too, and a client would reject them and never reply). Fields after
// the fifth (the time-out) are not sent. Each credential's packet is "U" and the first five
// fields joined by single commas. Throws ConfigError when the file cannot be read, also when
// the memory runs out.
CredentialStore readUsers(const std::string& path, SkippedLines& warnings);

}  // namespace tarrow::ctrl
