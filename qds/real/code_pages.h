// Single-byte code pages the library knows, and how a locale name picks one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace qds {

constexpr std::int32_t kDefaultCodePage = 1252;

// The code page a locale name ("de_DE.ISO-8859-15@euro") names: its code set when
// that is a known single-byte one, otherwise 1252.
std::int32_t codePageOfLocale(const std::string& localeName);

// The international dialling code of the locale's territory (1 when unknown).
std::int32_t countryOfLocale(const std::string& localeName);

// The table from each byte of the code page to its UTF-8 text; nothing for an unknown
// code page. Bytes the code page leaves undefined map to the code point of equal value.
std::optional<std::array<std::string, 256>> buildUtf8Table(std::int32_t codePage);

}  // namespace qds
