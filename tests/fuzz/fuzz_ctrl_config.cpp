// The controller's INI file and the users file it names. The input holds both: the INI text,
// then "\n--users--\n", then the users file. The INI names "users.txt" unless it says otherwise.
#include "common/ini_file.h"
#include "controller/core/ctrl_config.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow;
    const auto [iniText, usersText] = fuzz::splitAt(fuzz::asText(data, size), "\n--users--\n");
    // Only names inside the scratch folder: elsewhere the INI could name any file of the machine.
    const std::string named = IniFile::parse(std::string(iniText)).readString("General", "UserFile", "");
    if (named.find('/') != std::string::npos || named.find("..") != std::string::npos) return 0;
    fuzz::writeScratchFile("users.txt", usersText);
    const std::string ini = fuzz::writeScratchFile("TarrowCtrl.ini", iniText);
    try {
        const ctrl::CtrlConfig config = ctrl::loadConfig(ini);
        if (config.credentials.empty()) std::abort();  // an empty list is a ConfigError
        for (std::size_t i = 0; i < config.credentials.size(); ++i) {
            const std::string_view packet = config.credentials.packet(i);
            if (packet.empty() || packet[0] != 'U' || config.credentials.userName(i).empty()) std::abort();
        }
    } catch (const ctrl::ConfigError& e) {
        if (e.message.empty()) std::abort();
    }
    ctrl::SkippedLines warnings;
    try {
        (void)ctrl::readUsers(fuzz::scratchFolder() + "/users.txt", warnings);
        if (warnings.texts.size() > ctrl::SkippedLines::kKeptTexts) std::abort();
    } catch (const ctrl::ConfigError& e) {
        if (e.message.empty()) std::abort();
    }
    return 0;
}
