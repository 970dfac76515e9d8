// A private directory server for tests: slapd on a free port of 127.0.0.1, seeded
// with given users, stopped and removed when the object goes (also when a test fails).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarrow::test {

struct SeedUser {
    std::string name;
    std::string password;  // Windows-1252 bytes, as the client holds them
};

class PrivateSlapd {
public:
    // The context every seeded user lives in, and its DN.
    static constexpr const char* kContext = "Users.Engineering.Elmford.Vantric";
    static constexpr const char* kBaseDn = "ou=Users,ou=Engineering,ou=Elmford,o=Vantric";

    // Seeds the users under kContext. Throws std::runtime_error when slapd cannot start.
    explicit PrivateSlapd(const std::vector<SeedUser>& users = {});
    // Seeds from a users file (credential lines, each user under its own context) or,
    // for a name ending in .ldif, from LDIF that holds the base entries too.
    explicit PrivateSlapd(const std::filesystem::path& seedFile);
    ~PrivateSlapd();
    PrivateSlapd(const PrivateSlapd&) = delete;
    PrivateSlapd& operator=(const PrivateSlapd&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>": the tree text a client uses.
    std::string tree() const;
    // "ldap://127.0.0.1:<port>"
    std::string url() const;
    const std::filesystem::path& dir() const { return dir_; }

    // Writes a users file with one credential line per user under kContext.
    void writeUsersFile(const std::filesystem::path& file, const std::vector<SeedUser>& users) const;

private:
    void start(const std::filesystem::path& seedFile);

    std::filesystem::path dir_;
    int port_ = 0;
    bool running_ = false;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int freeLoopbackPort();

}  // namespace tarrow::test
