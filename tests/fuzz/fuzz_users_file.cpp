// The users-file reader: any file reads to its end, one line at a time, within the line cut.
#include "common/users_file_reader.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow;
    const std::string path = fuzz::writeScratchFile("users.txt", fuzz::asText(data, size));
    UsersFileReader reader;
    if (!reader.open(path)) std::abort();
    std::size_t lines = 0;
    for (;;) {
        const auto r = reader.next();
        if (r == UsersFileReader::Read::End) break;
        ++lines;
        if (reader.lineNumber() != lines) std::abort();
        const std::size_t kept = std::strlen(reader.lineText());
        if (kept > UsersFileReader::kMaxLineChars) std::abort();
        if (r == UsersFileReader::Read::LongLine && reader.lineChars() <= UsersFileReader::kMaxLineChars) {
            std::abort();
        }
        if (lines > size + 1) std::abort();  // never more lines than bytes
    }
    if (reader.failed()) std::abort();
    return 0;
}
