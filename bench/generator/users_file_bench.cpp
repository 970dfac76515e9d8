// Writes 1,000,000 users through the generator's real writer and, for reference, the same
// bytes with one plain buffered loop; prints both times and their ratio (target <= 1.5).
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "generator/logic/random_source.h"
#include "generator/logic/workload_writer.h"
#include "generator/posix/posix_file_system.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kUsers = 1000000;
constexpr int kRounds = 5;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The users file as one plain loop writes it: each line built in one reused string, then
// handed to a buffered stdio stream.
void writeReference(const tarrowmgr::GeneratorInputs& in, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror("reference");
        std::exit(1);
    }
    std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
    std::string line;
    for (int k = 1; k <= kUsers; ++k) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, k).ptr;
        line.assign(in.userName).append(digits, end);
        line.append(1, ',').append(in.password).append(1, ',').append(in.tree);
        line.append(1, ',').append(in.context).append(1, ',').append(in.serverName);
        line.append(1, ',').append(in.timeout).append("\r\n");
        std::fwrite(line.data(), 1, line.size(), file);
    }
    std::fclose(file);
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main() {
    char folder[] = "/tmp/tarrowmgr-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string base = std::string(folder) + "/";
    tarrowmgr::GeneratorInputs inputs = tarrowmgr::defaultInputs(base);
    inputs.workingDir = base + "work/";
    inputs.numUsers = std::to_string(kUsers);
    tarrowmgr::PosixFileSystem files;
    tarrowmgr::RandomSource random;

    double writer = 1e9;
    double reference = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        Clock::time_point start = Clock::now();
        if (const auto failure = tarrowmgr::writeWorkloadFiles(inputs, random, files)) {
            std::fprintf(stderr, "writer failed: %s\n", failure->text.c_str());
            return 1;
        }
        writer = std::min(writer, secondsSince(start));

        start = Clock::now();
        writeReference(inputs, base + "reference.csv");
        reference = std::min(reference, secondsSince(start));
    }
    const bool same = contents(inputs.workingDir + "Users.csv") == contents(base + "reference.csv");
    std::filesystem::current_path("/");
    std::filesystem::remove_all(base);

    std::printf("users file, %d users, best of %d rounds\n", kUsers, kRounds);
    std::printf("  generator writer : %8.1f ms (users file and both INI files)\n", writer * 1e3);
    std::printf("  plain loop       : %8.1f ms (users file only)\n", reference * 1e3);
    std::printf("  ratio            : %8.2f (target <= 1.50)\n", writer / reference);
    std::printf("  same bytes       : %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
