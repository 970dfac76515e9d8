// Recording double of qvintlapi: a fixed US locale with code page 1252, and texts
// passed through unconverted.
#define QV_BUILDING_LIBRARY
#include "qds/fake/fake_state.h"
#include "qds/include/qvintlapi.h"

#include <cstring>

extern "C" {

QV_API int32_t QVGetLocaleInfo(QVLocaleRecord* record) {
    const std::int32_t rc = qdsfake::onCall("QVGetLocaleInfo", qdsfake::out(record));
    if (rc == 0 && record) {
        std::memset(record, 0, sizeof *record);
        std::strcpy(record->localeName, "en_US.CP1252");
        record->countryCode = 1;
        record->codePage = 1252;
    }
    return rc;
}

QV_API int32_t QVInitUnicodeTables(int32_t codePage, int32_t countryCode) {
    const std::int32_t rc = qdsfake::onCall("QVInitUnicodeTables",
                                            std::to_string(codePage) + "," + std::to_string(countryCode));
    if (rc == 0) qdsfake::initUnicodeTables();
    return rc;
}

QV_API int32_t QVFreeUnicodeTables(void) {
    const std::int32_t rc = qdsfake::onCall("QVFreeUnicodeTables", "");
    qdsfake::freeUnicodeTables();
    return rc;
}

QV_API int32_t QVLocalToUTF8(const char* text, char* out, size_t outSize) {
    const std::int32_t rc = qdsfake::onCall(
        "QVLocalToUTF8", qdsfake::text(text) + "," + qdsfake::out(out) + "," + std::to_string(outSize));
    if (rc != 0) return rc;
    if (!text || !out || std::strlen(text) >= outSize) return QV_ERR_BAD_ARGUMENT;
    std::strcpy(out, text);
    return 0;
}

}  // extern "C"
