#include "qds/real/code_pages.h"

#include <iconv.h>

#include <cctype>
#include <cstring>
#include <utility>

namespace qds {
namespace {

struct KnownCodePage {
    std::int32_t number;
    const char* iconvName;
    const char* localeCodeset;  // lower case, without '-' and '_'
};

constexpr KnownCodePage kCodePages[] = {
    {437, "CP437", "cp437"},
    {850, "CP850", "cp850"},
    {1250, "CP1250", "cp1250"},
    {1251, "CP1251", "cp1251"},
    {1252, "CP1252", "cp1252"},
    {1253, "CP1253", "cp1253"},
    {1254, "CP1254", "cp1254"},
    {1257, "CP1257", "cp1257"},
    {20866, "KOI8-R", "koi8r"},
    {28591, "ISO-8859-1", "iso88591"},
    {28592, "ISO-8859-2", "iso88592"},
    {28593, "ISO-8859-3", "iso88593"},
    {28594, "ISO-8859-4", "iso88594"},
    {28595, "ISO-8859-5", "iso88595"},
    {28596, "ISO-8859-6", "iso88596"},
    {28597, "ISO-8859-7", "iso88597"},
    {28598, "ISO-8859-8", "iso88598"},
    {28599, "ISO-8859-9", "iso88599"},
    {28603, "ISO-8859-13", "iso885913"},
    {28605, "ISO-8859-15", "iso885915"},
};

const KnownCodePage* findCodePage(std::int32_t number) {
    for (const auto& cp : kCodePages)
        if (cp.number == number) return &cp;
    return nullptr;
}

std::string utf8Of(std::uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

}  // namespace

std::int32_t codePageOfLocale(const std::string& localeName) {
    const auto dot = localeName.find('.');
    if (dot == std::string::npos) return kDefaultCodePage;
    std::string codeset;
    for (std::size_t i = dot + 1; i < localeName.size() && localeName[i] != '@'; ++i) {
        const char c = localeName[i];
        if (c != '-' && c != '_') codeset += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (codeset.rfind("windows", 0) == 0) codeset = "cp" + codeset.substr(7);
    if (codeset == "latin1") codeset = "iso88591";
    for (const auto& cp : kCodePages)
        if (codeset == cp.localeCodeset) return cp.number;
    return kDefaultCodePage;
}

std::int32_t countryOfLocale(const std::string& localeName) {
    static constexpr std::pair<const char*, std::int32_t> kCountries[] = {
        {"US", 1},   {"CA", 1},  {"GB", 44}, {"DE", 49}, {"FR", 33}, {"IT", 39}, {"ES", 34},  {"NL", 31},
        {"BE", 32},  {"CH", 41}, {"AT", 43}, {"SE", 46}, {"NO", 47}, {"DK", 45}, {"FI", 358}, {"PL", 48},
        {"CZ", 420}, {"RU", 7},  {"GR", 30}, {"TR", 90}, {"JP", 81}, {"AU", 61}, {"BR", 55},  {"IE", 353},
    };
    const auto underscore = localeName.find('_');
    if (underscore == std::string::npos || underscore + 3 > localeName.size()) return 1;
    const std::string territory = localeName.substr(underscore + 1, 2);
    for (const auto& [code, number] : kCountries)
        if (territory == code) return number;
    return 1;
}

std::optional<std::array<std::string, 256>> buildUtf8Table(std::int32_t codePage) {
    const KnownCodePage* known = findCodePage(codePage);
    if (!known) return std::nullopt;
    iconv_t cd = iconv_open("UTF-8", known->iconvName);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::array<std::string, 256> table;
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char out[8];
        char* inPtr = &in;
        char* outPtr = out;
        std::size_t inLeft = 1, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            table[b] = utf8Of(static_cast<std::uint32_t>(b));
        else
            table[b].assign(out, sizeof out - outLeft);
    }
    iconv_close(cd);
    return table;
}

}  // namespace qds
