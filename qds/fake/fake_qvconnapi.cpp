// Recording double of qvconnapi.
#define QV_BUILDING_LIBRARY
#include "qds/fake/fake_state.h"
#include "qds/include/qvconnapi.h"

extern "C" QV_API int32_t QVCallsInit(int32_t reserved1, int32_t reserved2) {
    return qdsfake::onCall("QVCallsInit", std::to_string(reserved1) + "," + std::to_string(reserved2));
}
