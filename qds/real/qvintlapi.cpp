// qvintlapi: the locale query and the table from the locale's code page to Unicode.
#define QV_BUILDING_LIBRARY
#include "qds/include/qvintlapi.h"
#include "qds/real/code_pages.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

using Utf8Table = std::array<std::string, 256>;

struct Tables {
    std::mutex mutex;
    int setUps = 0;  // QVInitUnicodeTables calls not yet released
    const Utf8Table* current = nullptr;
    // A code page's table never changes: it is built on its first set-up and kept, so
    // that a set-up per login costs no conversion work.
    std::map<std::int32_t, Utf8Table> built;
};

Tables& tables() {
    static Tables t;
    return t;
}

std::string processLocaleName() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* v = std::getenv(name);
        if (v && *v) return v;
    }
    return "C";
}

}  // namespace

extern "C" {

QV_API int32_t QVGetLocaleInfo(QVLocaleRecord* record) {
    if (!record) return QV_ERR_BAD_ARGUMENT;
    std::memset(record, 0, sizeof *record);
    const std::string name = processLocaleName();
    std::strncpy(record->localeName, name.c_str(), sizeof record->localeName - 1);
    record->countryCode = qds::countryOfLocale(name);
    record->codePage = qds::codePageOfLocale(name);
    return QV_OK;
}

QV_API int32_t QVInitUnicodeTables(int32_t codePage, int32_t /*countryCode*/) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    auto it = t.built.find(codePage);
    if (it == t.built.end()) {
        auto table = qds::buildUtf8Table(codePage);
        if (!table) return QV_ERR_UNSUPPORTED_CODE_PAGE;
        it = t.built.emplace(codePage, std::move(*table)).first;
    }
    t.current = &it->second;
    ++t.setUps;
    return QV_OK;
}

QV_API int32_t QVFreeUnicodeTables(void) {
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    if (t.setUps > 0) --t.setUps;
    return QV_OK;
}

QV_API int32_t QVLocalToUTF8(const char* text, char* out, size_t outSize) {
    if (!text || !out || outSize == 0) return QV_ERR_BAD_ARGUMENT;
    Tables& t = tables();
    std::lock_guard lock(t.mutex);
    if (t.setUps == 0 || !t.current) return QV_ERR_NO_UNICODE_TABLES;
    std::size_t used = 0;
    for (const char* p = text; *p; ++p) {
        const std::string& u = (*t.current)[static_cast<unsigned char>(*p)];
        if (used + u.size() >= outSize) return QV_ERR_BAD_ARGUMENT;
        std::memcpy(out + used, u.data(), u.size());
        used += u.size();
    }
    out[used] = '\0';
    return QV_OK;
}

}  // extern "C"
