// A zero-filled fixed buffer that takes one credential text for the directory call.
#pragma once

#include "client/directory/DSUser.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <string>

namespace tarrow {

// Holds `text` and its terminating zero in Size bytes, the rest zero. A text that does
// not fit, or that holds a zero byte (the library would see a shorter text), is
// refused with a DSUser::DSError naming the field: it is never cut.
template <std::size_t Size>
class CredentialBuffer {
public:
    CredentialBuffer(const char* field, const std::string& text) {
        if (text.size() > Size - 1) {
            throw DSUser::DSError(std::string(field) + " is longer than " + std::to_string(Size - 1) +
                                  " characters");
        }
        if (text.find('\0') != std::string::npos) {
            throw DSUser::DSError(std::string(field) + " holds a zero character");
        }
        bytes_.fill('\0');
        std::memcpy(bytes_.data(), text.data(), text.size());
    }
    const char* data() const { return bytes_.data(); }

private:
    std::array<char, Size> bytes_;
};

}  // namespace tarrow
