// The credential-line splitter and DSUser::setUserInfo, which must agree on the fields.
#include "client/directory/DSUser.h"
#include "common/credential_line.h"
#include "tests/fuzz/fuzz_input.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarrow;
    const std::string_view text = fuzz::asText(data, size);
    const auto fields = splitCredentialLine(text);
    if (fields.size() > 5) std::abort();
    for (const auto& f : fields) {
        if (f.empty()) std::abort();  // fields are non-empty runs
        for (char c : f) {
            if (isCredentialSeparator(c)) std::abort();
        }
    }
    (void)splitCredentialLine(text, 0);
    (void)splitCredentialLine(text, 64);

    // setUserInfo reads a zero-terminated line: its fields are those of the text before the
    // first zero byte.
    const std::string line(text.substr(0, text.find('\0')));
    const auto lineFields = splitCredentialLine(line);
    DSUser user;
    try {
        user.setUserInfo(line.c_str());
        if (lineFields.size() < 5) std::abort();  // should have refused
        if (user.userName != lineFields[0] || user.password != lineFields[1] || user.tree != lineFields[2] ||
            user.context != lineFields[3] || user.server != lineFields[4]) {
            std::abort();
        }
    } catch (const DSUser::DSError& e) {
        if (lineFields.size() >= 5) std::abort();  // five fields are enough
        if (!user.userName.empty()) std::abort();  // no field changed
    }
    return 0;
}
