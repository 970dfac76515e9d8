#include "generator/posix/home_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace tarrowmgr {

std::string userHomeFolder() {
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && *env != '\0') {
        home = env;
    } else if (const passwd* entry = getpwuid(getuid());
               entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir != '\0') {
        home = entry->pw_dir;
    } else {
        home = "/tmp";  // no home at all: a folder that every user can write
    }
    if (home.back() != '/') home += '/';
    return home;
}

}  // namespace tarrowmgr
