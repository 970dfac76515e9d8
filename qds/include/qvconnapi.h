/* qvconnapi: connection calls of the directory client libraries. */
#ifndef QVCONNAPI_H
#define QVCONNAPI_H

#include <stdint.h>

#include "qds/include/qverrors.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinal 377. Initialises the calls of this process. Both arguments are reserved
 * and must be 0. Returns QV_OK or QV_ERR_BAD_ARGUMENT. May be called again before
 * every login. */
QV_API int32_t QVCallsInit(int32_t reserved1, int32_t reserved2);

#ifdef __cplusplus
}
#endif

#endif
