// qvconnapi: initialisation of the calls. The directory work itself is in qvdsapi.
#define QV_BUILDING_LIBRARY
#include "qds/include/qvconnapi.h"

extern "C" QV_API int32_t QVCallsInit(int32_t reserved1, int32_t reserved2) {
    return reserved1 == 0 && reserved2 == 0 ? QV_OK : QV_ERR_BAD_ARGUMENT;
}
