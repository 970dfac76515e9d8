// Runs one DSUser login from the command line and prints the outcome:
//   dsuser_login_probe USER PASSWORD TREE CONTEXT
// Exit status 0 when execute returned 1. Used to check that a program linked against
// the real directory libraries runs unchanged against the double.
#include "client/directory/DSUser.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s USER PASSWORD TREE CONTEXT\n", argv[0]);
        return 2;
    }
    DSUser user;
    user.userName = argv[1];
    user.password = argv[2];
    user.tree = argv[3];
    user.context = argv[4];
    try {
        const int rc = user.execute();
        std::printf("execute returned %d\n", rc);
        return rc == 1 ? 0 : 1;
    } catch (const DSUser::DSError& e) {
        std::printf("%s\n", e.message.c_str());
        return 1;
    }
}
