#include "tests/slapd/private_slapd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifndef TARROW_PRIVATE_SLAPD_SCRIPT
#error "TARROW_PRIVATE_SLAPD_SCRIPT must name scripts/private-slapd.sh"
#endif

namespace tarrow::test {
namespace {

constexpr int kStartAttempts = 5;

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::filesystem::path makeTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tarrow-slapd-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    return pattern;
}

int runScript(const std::string& arguments, const std::filesystem::path& log) {
    const std::string command = shellQuoted(TARROW_PRIVATE_SLAPD_SCRIPT) + " " + arguments + " >" +
                                shellQuoted(log.string()) + " 2>&1";
    return std::system(command.c_str());
}

}  // namespace

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const int err = errno;
        ::close(fd);
        throw std::system_error(err, std::generic_category(), "bind 127.0.0.1:0");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

PrivateSlapd::PrivateSlapd(const std::vector<SeedUser>& users) : dir_(makeTempDir()) {
    const auto usersFile = dir_ / "users.txt";
    writeUsersFile(usersFile, users);
    start(usersFile);
}

PrivateSlapd::PrivateSlapd(const std::filesystem::path& seedFile) : dir_(makeTempDir()) { start(seedFile); }

PrivateSlapd::PrivateSlapd(const std::vector<SeedUser>& users, WithTls) : dir_(makeTempDir()) {
    const auto usersFile = dir_ / "users.txt";
    writeUsersFile(usersFile, users);
    start(usersFile, true);
}

void PrivateSlapd::start(const std::filesystem::path& seedFile, bool tls) {
    const auto log = dir_ / "script.log";
    std::string lastLog;
    // The port can be taken between the probe and slapd's bind: try a few.
    for (int attempt = 0; attempt < kStartAttempts && !running_; ++attempt) {
        port_ = freeLoopbackPort();
        std::string tlsOption;
        if (tls) {
            do tlsPort_ = freeLoopbackPort();
            while (tlsPort_ == port_);
            tlsOption = "--tls " + std::to_string(tlsPort_) + " ";
        }
        const int rc = runScript("start " + tlsOption + shellQuoted((dir_ / "server").string()) + " " +
                                     std::to_string(port_) + " " + shellQuoted(seedFile.string()),
                                 log);
        running_ = rc == 0;
        if (!running_) lastLog = readFile(log);
    }
    if (!running_) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        throw std::runtime_error("private slapd did not start: " + lastLog);
    }
}

std::string PrivateSlapd::monitorPassword() const { return readFile(dir_ / "server" / "monitor.password"); }

PrivateSlapd::~PrivateSlapd() {
    if (running_) runScript("stop " + shellQuoted((dir_ / "server").string()), dir_ / "stop.log");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string PrivateSlapd::tree() const { return "127.0.0.1:" + std::to_string(port_); }

std::string PrivateSlapd::url() const { return "ldap://" + tree(); }

std::string PrivateSlapd::ldapsUrl() const { return "ldaps://127.0.0.1:" + std::to_string(tlsPort_); }

std::filesystem::path PrivateSlapd::certificate() const { return dir_ / "server" / "tls" / "server.pem"; }

void PrivateSlapd::writeUsersFile(const std::filesystem::path& file, const std::vector<SeedUser>& users) const {
    std::ofstream out(file, std::ios::binary);
    for (const auto& u : users)
        out << u.name << ',' << u.password << ',' << tree() << ',' << kContext << ",server\n";
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace tarrow::test
