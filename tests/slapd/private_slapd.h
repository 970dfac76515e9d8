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

// Asks for a server that also speaks TLS: a self-signed certificate made for it,
// StartTLS on the plain port and ldaps:// on a second one.
struct WithTls {};

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
    // Seeds the users under kContext, and speaks TLS too (see WithTls).
    PrivateSlapd(const std::vector<SeedUser>& users, WithTls);
    ~PrivateSlapd();
    PrivateSlapd(const PrivateSlapd&) = delete;
    PrivateSlapd& operator=(const PrivateSlapd&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>": the tree text a client uses.
    std::string tree() const;
    // "ldap://127.0.0.1:<port>"
    std::string url() const;

    // With TLS only: the ldaps:// port, "ldaps://127.0.0.1:<tls port>", and the server's
    // self-signed certificate, which a client trusts with LDAPTLS_CACERT (it names
    // 127.0.0.1 only). tlsPort() is 0 without TLS.
    int tlsPort() const { return tlsPort_; }
    std::string ldapsUrl() const;
    std::filesystem::path certificate() const;
    const std::filesystem::path& dir() const { return dir_; }
    // The bind DN of the server's monitor user (it alone reads cn=Monitor) and its password.
    static constexpr const char* kMonitorDn = "cn=tarrow-monitor,cn=Monitor";
    std::string monitorPassword() const;

    // Writes a users file with one credential line per user under kContext.
    void writeUsersFile(const std::filesystem::path& file, const std::vector<SeedUser>& users) const;

private:
    void start(const std::filesystem::path& seedFile, bool tls = false);

    std::filesystem::path dir_;
    int port_ = 0;
    int tlsPort_ = 0;
    bool running_ = false;
};

// A TCP port on 127.0.0.1 that was free a moment ago.
int freeLoopbackPort();

}  // namespace tarrow::test
