#include "tests/fuzz/fuzz_input.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tarrow::fuzz {

std::string scratchFolder() {
    static const std::string folder = [] {
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        auto path = std::filesystem::path(base) / ("tarrow-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        // Removed when the fuzzer exits normally; a crash leaves it for inspection.
        static const std::string keep = path.string();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(keep, ec);
        });
        return path.string();
    }();
    return folder;
}

std::string writeScratchFile(const std::string& name, std::string_view content) {
    const std::string path = scratchFolder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
}

}  // namespace tarrow::fuzz
