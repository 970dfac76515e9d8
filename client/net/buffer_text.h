// Text as it comes out of a fixed, zero-terminated byte buffer.
#pragma once

#include <cstddef>
#include <string>

namespace tarrow {

// The size of every datagram and packet buffer of the controller link, terminating zero included.
inline constexpr std::size_t kLinkBufferBytes = 1500;

// The characters of bytes up to its first zero byte, at most bufferBytes - 1 of them: what a
// buffer of bufferBytes that must keep a terminating zero holds as text. Longer input is cut.
std::string bufferText(const std::string& bytes, std::size_t bufferBytes = kLinkBufferBytes);

}  // namespace tarrow
