// Memory of the controller's users file: writes a users file of N generated lines (the
// generator's default inputs, CR LF) and TarrowCtrl.ini into a temporary folder, loads it with
// loadConfig, and prints the file size, the peak resident size (VmHWM) and its ratio to the
// file size. The same file is then loaded into a string pair per line (the layout the
// controller used before its credential store) as the reference. Each load runs in a child
// process of its own, so that each peak is that load's alone.
//
//   ctrl_users_memory_bench [--lines N] [--dir DIR] [--keep]     (N = 10000000 by default)
#include "common/credential_line.h"
#include "common/users_file_reader.h"
#include "controller/core/ctrl_config.h"
#include "generator/logic/generated_files.h"
#include "generator/logic/generator_inputs.h"

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// A field of /proc/self/status or /proc/meminfo in kB; 0 when absent.
std::uint64_t procKb(const char* file, const char* key) {
    std::ifstream in(file);
    const std::size_t n = std::strlen(key);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::strtoull(line.c_str() + n + 1, nullptr, 10);
    }
    return 0;
}

void writeUsersFile(const fs::path& dir, std::uint64_t lines) {
    const tarrowmgr::GeneratorInputs inputs;
    std::ofstream users(dir / inputs.csvFile, std::ios::binary | std::ios::trunc);
    std::string line, block;
    for (std::uint64_t k = 1; k <= lines; ++k) {
        tarrowmgr::buildUsersLine(line, inputs, static_cast<std::int32_t>(k), inputs.timeout);
        block += line;
        block += "\r\n";
        if (block.size() >= (1u << 20)) users << block, block.clear();
    }
    users << block;
    std::ofstream ini(dir / tarrowmgr::kControllerIniName, std::ios::binary | std::ios::trunc);
    for (const std::string& l : tarrowmgr::controllerIniLines(inputs)) ini << l << "\r\n";
    if (!users || !ini) {
        std::cerr << "ctrl_users_memory_bench: cannot write into " << dir << "\n";
        std::exit(1);
    }
}

// The layout before the credential store: two strings per line, the list grown as it goes.
struct StringPair {
    std::string packet;
    std::string userName;
};

std::size_t loadAsStringPairs(const std::string& path) {
    tarrow::UsersFileReader reader;
    if (!reader.open(path)) return 0;
    std::vector<StringPair> out;
    for (tarrow::UsersFileReader::Read r; (r = reader.next()) == tarrow::UsersFileReader::Read::Line;) {
        const auto fields = tarrow::splitCredentialLine(reader.lineText(), 5);
        if (fields.size() < 5) continue;
        StringPair c;
        c.packet = "U";
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i) c.packet += ',';
            c.packet += fields[i];
        }
        c.userName = fields[0];
        out.push_back(std::move(c));
    }
    return out.size();
}

struct Measure {
    std::uint64_t credentials = 0;
    std::uint64_t baseKb = 0;  // resident before the load
    std::uint64_t peakKb = 0;  // VmHWM after it
    double seconds = 0;
    double cpuSeconds = 0;  // wall time is the machine's; the CPU time is the load's own
    bool ok = false;
};

// Runs load in a child and hands its figures back through a pipe.
template <typename Load>
Measure inChild(Load load) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        Measure m;
        m.baseKb = procKb("/proc/self/status", "VmRSS");
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        m.credentials = load();
        m.cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        m.peakKb = procKb("/proc/self/status", "VmHWM");
        m.ok = m.credentials > 0;
        const ssize_t written = ::write(fds[1], &m, sizeof m);
        ::_exit(written == static_cast<ssize_t>(sizeof m) ? 0 : 1);
    }
    ::close(fds[1]);
    Measure m;
    if (pid < 0 || ::read(fds[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) m = {};
    ::close(fds[0]);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    return m;
}

void printRow(const char* name, const Measure& m, std::uint64_t fileBytes) {
    if (!m.ok) {
        std::printf("%-22s failed\n", name);
        return;
    }
    const double fileMb = static_cast<double>(fileBytes) / 1e6;
    const double peakMb = static_cast<double>(m.peakKb) * 1024 / 1e6;
    const double loadMb = static_cast<double>(m.peakKb - std::min(m.peakKb, m.baseKb)) * 1024 / 1e6;
    std::printf("%-22s %10llu %8.2f s %8.2f s %10.1f MB %10.1f MB %8.2f\n", name,
                static_cast<unsigned long long>(m.credentials), m.seconds, m.cpuSeconds, peakMb, loadMb,
                peakMb / fileMb);
}

}  // namespace

int main(int argc, char** argv) {
    std::uint64_t lines = 10'000'000;
    fs::path parent = fs::temp_directory_path();
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lines" && i + 1 < argc) lines = std::strtoull(argv[++i], nullptr, 10);
        else if (a == "--dir" && i + 1 < argc)
            parent = argv[++i];
        else if (a == "--keep")
            keep = true;
        else {
            std::cerr << "usage: ctrl_users_memory_bench [--lines N] [--dir DIR] [--keep]\n";
            return 2;
        }
    }
    if (lines == 0 || lines > 2'147'483'647) {
        std::cerr << "ctrl_users_memory_bench: --lines takes 1 to 2147483647\n";
        return 2;
    }
    std::string pattern = (parent / "ctrl-users-memory-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::cerr << "ctrl_users_memory_bench: cannot make a folder in " << parent << "\n";
        return 1;
    }
    const fs::path dir(pattern);
    writeUsersFile(dir, lines);
    const tarrowmgr::GeneratorInputs inputs;
    const std::string usersPath = (dir / inputs.csvFile).string();
    const std::uint64_t fileBytes = fs::file_size(usersPath);
    std::printf("users file: %llu lines, %.1f MB (%s)\n", static_cast<unsigned long long>(lines),
                static_cast<double>(fileBytes) / 1e6, usersPath.c_str());
    std::printf("%-22s %10s %10s %10s %13s %13s %8s\n", "layout", "users", "load", "cpu", "peak (VmHWM)",
                "load's share", "ratio");

    const std::string ini = (dir / tarrowmgr::kControllerIniName).string();
    const Measure store = inChild([&ini] {
        try {
            return static_cast<std::size_t>(tarrow::ctrl::loadConfig(ini).credentials.size());
        } catch (const tarrow::ctrl::ConfigError& e) {
            std::cerr << "ctrl_users_memory_bench: " << e.message << "\n";
            return std::size_t(0);
        }
    });
    printRow("credential store", store, fileBytes);

    // The reference takes some five times the file; it is left out where that cannot be had.
    const std::uint64_t availableKb = procKb("/proc/meminfo", "MemAvailable");
    if (availableKb != 0 && fileBytes / 1024 * 6 > availableKb) {
        std::printf("%-22s skipped: needs about %llu MB, %llu MB available\n", "string pair per line",
                    static_cast<unsigned long long>(fileBytes * 6 / 1'000'000),
                    static_cast<unsigned long long>(availableKb / 1000));
    } else {
        const Measure pairs = inChild([&usersPath] { return loadAsStringPairs(usersPath); });
        printRow("string pair per line", pairs, fileBytes);
        if (store.ok && pairs.ok)
            std::printf("peak of the store / peak of the string pairs: %.2f\n",
                        static_cast<double>(store.peakKb) / static_cast<double>(pairs.peakKb));
    }
    if (!keep) fs::remove_all(dir);
    return store.ok ? 0 : 1;
}
