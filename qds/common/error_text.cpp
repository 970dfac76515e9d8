// The text of every return code in qds/include/qverrors.h.
#define QV_BUILDING_LIBRARY
#include "qds/include/qverrors.h"

extern "C" QV_API const char* QVErrorText(int32_t code) {
    switch (code) {
    case QV_OK: return "success";
    case QV_ERR_BAD_ARGUMENT: return "bad argument";
    case QV_ERR_BAD_HANDLE: return "no such handle";
    case QV_ERR_BAD_KEY: return "unsupported context key";
    case QV_ERR_BAD_NAME: return "tree or context cannot be parsed";
    case QV_ERR_NO_TREE: return "context names no tree";
    case QV_ERR_NO_UNICODE_TABLES: return "Unicode tables not set up";
    case QV_ERR_UNSUPPORTED_CODE_PAGE: return "unsupported code page";
    case QV_ERR_OUT_OF_MEMORY: return "out of memory";
    case QV_ERR_NOT_LOGGED_IN: return "context holds no login";
    case QV_ERR_SERVER_UNREACHABLE: return "server unreachable";
    case QV_ERR_TIMEOUT: return "server did not answer in time";
    case QV_ERR_INVALID_CREDENTIALS: return "invalid credentials";
    case QV_ERR_NO_SUCH_ENTRY: return "no such user";
    case QV_ERR_NO_SUCH_CONTEXT: return "no such context";
    case QV_ERR_IDENTITY_MISMATCH: return "connection not bound as the user";
    case QV_ERR_SERVER_REFUSED: return "server refused the request";
    case QV_ERR_TLS: return "TLS failed (certificate, host name or handshake)";
    case QV_ERR_PROTOCOL: return "protocol failure";
    default: return "unknown error";
    }
}
