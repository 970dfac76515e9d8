// The generator's number-of-users conversion: any text gives a count or a reason.
#include "generator/logic/number_of_users.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result = tarrowmgr::parseNumberOfUsers(tarrow::fuzz::asText(data, size));
    if (!result.ok && result.error.empty()) std::abort();
    return 0;
}
