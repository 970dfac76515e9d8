/* qvintlapi: locale and Unicode tables of the directory client libraries. */
#ifndef QVINTLAPI_H
#define QVINTLAPI_H

#include <stddef.h>
#include <stdint.h>

#include "qds/include/qverrors.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The locale record. Callers rely only on the two 32-bit values at byte offsets 56
 * (country code) and 60 (code page); the rest is the library's own. */
typedef struct QVLocaleRecord {
    char localeName[56]; /* the locale's name, e.g. "en_US.UTF-8", zero-terminated */
    int32_t countryCode; /* byte offset 56: international dialling code, 1 = USA */
    int32_t codePage;    /* byte offset 60: single-byte code page, e.g. 1252 */
    char reserved[64];
} QVLocaleRecord;

/* Ordinal 1. Fills the record from the process locale (LC_ALL, LC_CTYPE, LANG). The
 * code page is 1252 unless the locale names another single-byte code set that the
 * library knows. Returns QV_OK or QV_ERR_BAD_ARGUMENT for a null record. */
QV_API int32_t QVGetLocaleInfo(QVLocaleRecord* record);

/* Ordinal 63. Sets up the table from the code page to Unicode; it stays set up until
 * QVFreeUnicodeTables. Nested calls are counted. Code pages: 437, 850, 1250, 1251,
 * 1252, 1253, 1254, 1257, 20866 (KOI8-R), 28591 to 28605 (ISO-8859-n). Returns QV_OK
 * or QV_ERR_UNSUPPORTED_CODE_PAGE. */
QV_API int32_t QVInitUnicodeTables(int32_t codePage, int32_t countryCode);

/* Ordinal 58. Releases what one QVInitUnicodeTables set up. Returns QV_OK. */
QV_API int32_t QVFreeUnicodeTables(void);

/* Ordinal 64. Converts a zero-terminated text in the current code page to UTF-8 into
 * out (outSize bytes, zero-terminated). Returns QV_OK, QV_ERR_NO_UNICODE_TABLES, or
 * QV_ERR_BAD_ARGUMENT when out is too small. */
QV_API int32_t QVLocalToUTF8(const char* text, char* out, size_t outSize);

#ifdef __cplusplus
}
#endif

#endif
