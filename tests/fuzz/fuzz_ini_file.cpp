// The INI reader: any text parses, and every read of it answers with a value or the default.
#include "common/ini_file.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow;
    const std::string text(fuzz::asText(data, size));
    const IniFile ini = IniFile::parse(text);
    // The keys the client and the controller read, and the value rules behind each kind.
    for (const char* section : {"General", "Missing"}) {
        for (const char* key : {"User", "MaxDelay", "Local Broadcast", "UserFile"}) {
            const std::string value = ini.readString(section, key, "dflt");
            if (value.size() > 2047) std::abort();  // the documented cut
            (void)ini.readInteger(section, key, -7);
            (void)ini.readBool(section, key, true);
        }
    }
    // The integer rule on its own, on the whole input and on its first line.
    (void)parseProfileInteger(text);
    (void)parseProfileInteger(text.substr(0, text.find('\n')));
    return 0;
}
