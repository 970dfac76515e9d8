// The private slapd seeded from a users file, as batch and end-to-end tests use it.
#include "client/directory/DSUser.h"
#include "tests/slapd/private_slapd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

using tarrow::test::PrivateSlapd;

bool acceptsConnections(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

std::string loginResult(const PrivateSlapd& server, const char* user, const char* password,
                        const char* context) {
    DSUser u;
    u.userName = user;
    u.password = password;
    u.tree = server.tree();
    u.context = context;
    try {
        return std::to_string(u.execute());
    } catch (const DSUser::DSError& e) {
        return e.message;
    }
}

TEST(PrivateSlapd, SeedsAUsersFileUnderEachLinesContextAndStopsWhenDestroyed) {
    ::setenv("LANG", "C", 1);
    const auto file = std::filesystem::temp_directory_path() / "tarrow-private-slapd-users.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "alice,secret,127.0.0.1,Users.Engineering.Elmford.Vantric,srv,30\r\n"
            << "\n"
            << "carol;pw\xe9 127.0.0.1 Sales.Elmford.Vantric srv\n"
            << "short,line\n";
    }
    int port = 0;
    {
        PrivateSlapd server(file);
        port = server.port();
        EXPECT_EQ(loginResult(server, "alice", "secret", "Users.Engineering.Elmford.Vantric"), "1");
        EXPECT_EQ(loginResult(server, "carol", "pw\xe9", "Sales.Elmford.Vantric"), "1");
        EXPECT_TRUE(acceptsConnections(port));
    }
    std::filesystem::remove(file);
    EXPECT_FALSE(acceptsConnections(port));
}

TEST(PrivateSlapd, SeedsGivenUsersUnderTheDefaultContext) {
    PrivateSlapd server({{"dave", "pw1"}, {"erin", "pw2"}});
    EXPECT_EQ(loginResult(server, "erin", "pw2", PrivateSlapd::kContext), "1");
    EXPECT_EQ(loginResult(server, "dave", "pw2", PrivateSlapd::kContext), "QVDSLogin returned -203");
}

}  // namespace
