#include "client/app/timings_switch.h"

#include <cstdlib>
#include <string_view>
#include <strings.h>

namespace tarrow {

bool timingsOfferedByEnvironment() {
    const char* value = std::getenv("TARROW_TIMINGS");
    if (!value) return true;
    return strcasecmp(value, "off") != 0 && std::string_view(value) != "0";
}

}  // namespace tarrow
