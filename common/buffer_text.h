// Text as it comes out of a fixed, zero-terminated byte buffer.
#pragma once

#include <cstddef>
#include <string>

#include "common/link_protocol.h"

namespace tarrow {

// The characters of bytes up to its first zero byte, at most bufferBytes - 1 of them: what a
// buffer of bufferBytes that must keep a terminating zero holds as text. Longer input is cut.
std::string bufferText(const std::string& bytes, std::size_t bufferBytes = kLinkBufferBytes);

}  // namespace tarrow
