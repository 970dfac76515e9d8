// Helpers the fuzz harnesses share: cutting one input into parts, and a private scratch file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarrow::fuzz {

// The input as text (any bytes, zero bytes included).
inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Splits at the first occurrence of sep: what stands before it and what follows. Without sep,
// everything is the first part. Lets one input carry two files (an INI and a users file).
inline std::pair<std::string_view, std::string_view> splitAt(std::string_view text, std::string_view sep) {
    const auto at = text.find(sep);
    if (at == std::string_view::npos) return {text, {}};
    return {text.substr(0, at), text.substr(at + sep.size())};
}

// A folder of this process's own under /dev/shm (memory, so that reading a file per input
// costs little), made once; files written into it are replaced on every input.
std::string scratchFolder();
// Writes content to name in the scratch folder; returns the full path.
std::string writeScratchFile(const std::string& name, std::string_view content);

}  // namespace tarrow::fuzz
