/* Return codes shared by the three directory client libraries.
 *
 * Every library call returns a 32-bit signed code: 0 is success, every other value
 * is one of the failures below.
 *
 *   code   name                          meaning
 *   ----   ----------------------------  ---------------------------------------------
 *      0   QV_OK                         success
 *   -101   QV_ERR_BAD_ARGUMENT           a null pointer or a reserved argument not 0
 *   -102   QV_ERR_BAD_HANDLE             no such context handle or connection handle
 *   -103   QV_ERR_BAD_KEY                a context key the call does not support
 *   -104   QV_ERR_BAD_NAME               the tree or the context cannot be parsed
 *   -105   QV_ERR_NO_TREE                login on a context that names no tree
 *   -106   QV_ERR_NO_UNICODE_TABLES      texts converted before QVInitUnicodeTables
 *   -107   QV_ERR_UNSUPPORTED_CODE_PAGE  no table for that code page
 *   -108   QV_ERR_OUT_OF_MEMORY          an allocation failed
 *   -109   QV_ERR_NOT_LOGGED_IN          the context holds no login
 *   -201   QV_ERR_SERVER_UNREACHABLE     no connection to the server could be made
 *   -202   QV_ERR_TIMEOUT                the server did not answer within the time-out
 *   -203   QV_ERR_INVALID_CREDENTIALS    wrong password (or an empty one)
 *   -204   QV_ERR_NO_SUCH_ENTRY          the user does not exist in the context
 *   -205   QV_ERR_NO_SUCH_CONTEXT        the context does not exist on the server
 *   -206   QV_ERR_IDENTITY_MISMATCH      the connection is not bound as the user
 *   -207   QV_ERR_SERVER_REFUSED         the server refused the request
 *   -208   QV_ERR_TLS                    the connection was made, but TLS failed: an
 *                                        untrusted certificate, a wrong host name, a
 *                                        handshake or StartTLS the server refused
 *   -299   QV_ERR_PROTOCOL               any other protocol failure
 */
#ifndef QVERRORS_H
#define QVERRORS_H

#include <stdint.h>

#include "qds/include/qvexport.h"

#define QV_OK 0
#define QV_ERR_BAD_ARGUMENT (-101)
#define QV_ERR_BAD_HANDLE (-102)
#define QV_ERR_BAD_KEY (-103)
#define QV_ERR_BAD_NAME (-104)
#define QV_ERR_NO_TREE (-105)
#define QV_ERR_NO_UNICODE_TABLES (-106)
#define QV_ERR_UNSUPPORTED_CODE_PAGE (-107)
#define QV_ERR_OUT_OF_MEMORY (-108)
#define QV_ERR_NOT_LOGGED_IN (-109)
#define QV_ERR_SERVER_UNREACHABLE (-201)
#define QV_ERR_TIMEOUT (-202)
#define QV_ERR_INVALID_CREDENTIALS (-203)
#define QV_ERR_NO_SUCH_ENTRY (-204)
#define QV_ERR_NO_SUCH_CONTEXT (-205)
#define QV_ERR_IDENTITY_MISMATCH (-206)
#define QV_ERR_SERVER_REFUSED (-207)
#define QV_ERR_TLS (-208)
#define QV_ERR_PROTOCOL (-299)

#ifdef __cplusplus
extern "C" {
#endif

/* Returns a short English text for a return code ("unknown error" for codes not in
 * the table). The text is static; never free it. Exported by qvconnapi. */
QV_API const char* QVErrorText(int32_t code);

#ifdef __cplusplus
}
#endif

#endif
