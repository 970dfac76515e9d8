// Where the user's files live.
#pragma once

#include <string>

namespace tarrowmgr {

// The user's home folder (from $HOME, else the password database), ending in "/".
std::string userHomeFolder();

}  // namespace tarrowmgr
