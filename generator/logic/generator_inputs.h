// The values the generator's window (or command line) hands to the file writer.
#pragma once

#include <string>

namespace tarrowmgr {

// One set of inputs, read once at the start of a write. Every text is taken exactly as
// typed (single-byte characters, no trimming).
struct GeneratorInputs {
    std::string userName = "ElmfordTestUser";  // base name; the user number is appended
    std::string password = "kemp";
    std::string tree = "127.0.0.1";  // directory server address or tree name
    std::string context = "Users.Engineering.Elmford.Vantric";
    std::string serverName = "NotUsed";
    std::string timeout = "1";          // field 6 of the users file when random is off
    bool random = false;                // field 6 is a random 1..60 instead of the time-out text
    std::string numUsers = "10";        // converted by parseNumberOfUsers
    std::string workingDir;             // folder that receives the files; ends in "/" by default
    std::string csvFile = "Users.csv";  // users-file name, relative to workingDir or absolute
    std::string broadcast = "127.255.255.255";
};

// The window's defaults; the working folder is homeFolder followed by "TarrowMgr/".
GeneratorInputs defaultInputs(const std::string& homeFolder);

}  // namespace tarrowmgr
