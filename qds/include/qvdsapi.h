/* qvdsapi: directory calls of the directory client libraries.
 *
 * A context holds a tree (the server) and a context name (where the users are), and
 * at most one login. The login binds over a new connection; key 8 of the context
 * names that connection. */
#ifndef QVDSAPI_H
#define QVDSAPI_H

#include <stdint.h>

#include "qds/include/qverrors.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Context keys. */
#define QV_CTX_NAME 3       /* zero-terminated dotted context, "Users.Engineering.Vantric" */
#define QV_CTX_CONNECTION 8 /* uint32_t: the connection handle of the login (read only) */
#define QV_CTX_TREE 11      /* zero-terminated tree: host, host:port, ldap:// or ldaps:// URL */

/* Ordinal 1160. Creates a context and stores its handle (never 0) in *handle. */
QV_API int32_t QVDSCreateContextHandle(uint32_t* handle);

/* Ordinal 1004. Sets key 3 (context name) or key 11 (tree) from a zero-terminated
 * text. Returns QV_OK, QV_ERR_BAD_HANDLE, QV_ERR_BAD_KEY, QV_ERR_BAD_NAME. */
QV_API int32_t QVDSSetContext(uint32_t handle, int32_t key, const void* value);

/* Ordinal 1003. Reads key 8 (the connection handle, a uint32_t) of a context with a
 * login. Returns QV_OK, QV_ERR_BAD_HANDLE, QV_ERR_BAD_KEY, QV_ERR_NOT_LOGGED_IN. */
QV_API int32_t QVDSGetContext(uint32_t handle, int32_t key, void* value);

/* Ordinal 3028. Logs in: converts user name and password from the code page of the
 * Unicode tables to UTF-8 and binds as that user over a new connection to the tree.
 * options and reserved must be 0. An open login of the context is ended first. */
QV_API int32_t QVDSLogin(uint32_t handle, int32_t options, const char* userName, const char* password,
                         int32_t reserved);

/* Ordinal 1164. Confirms with the server that the connection is bound as the user
 * of the login. Returns QV_OK or QV_ERR_IDENTITY_MISMATCH and the network failures. */
QV_API int32_t QVDSAuthenticateConn(uint32_t handle, uint32_t connHandle);

/* Ordinal 3029. Ends the login of the context (unbind). */
QV_API int32_t QVDSLogout(uint32_t handle);

/* Ordinal 1002. Releases the context, ending a login it still holds. */
QV_API int32_t QVDSFreeContext(uint32_t handle);

/* Timing of logins.
 *
 * The libraries time the steps of every login on the monotonic clock, in microseconds,
 * by phase, for the thread that runs them:
 *   QV_PHASE_CONNECT  the TCP connection to the server (QVDSLogin)
 *   QV_PHASE_TLS      the TLS handshake: an ldaps:// tree, or StartTLS (QVDSLogin)
 *   QV_PHASE_BIND     the simple bind request until its answer (QVDSLogin)
 *   QV_PHASE_VERIFY   the "Who am I?" confirmation (QVDSAuthenticateConn)
 *   QV_PHASE_UNBIND   the unbind and close that end a login (QVDSLogout, QVDSFreeContext,
 *                     or QVDSLogin ending the context's open login)
 * A phase that was started counts as reached, also when it failed or timed out, with the
 * time spent in it; a phase never started is not reached (no TLS on a plain tree, no bind
 * after a failed connection). Each QVDSLogin starts a new login: it clears the connect,
 * TLS, bind and verify figures not yet taken, so that they never mix two logins; the
 * unbind figure is the last log-out's. */
#define QV_PHASE_CONNECT 0
#define QV_PHASE_TLS 1
#define QV_PHASE_BIND 2
#define QV_PHASE_VERIFY 3
#define QV_PHASE_UNBIND 4
#define QV_PHASE_COUNT 5

typedef struct QVLoginTimings {
    uint32_t reached;           /* bit (1u << phase) for each phase reached */
    uint32_t reserved;          /* 0 */
    int64_t us[QV_PHASE_COUNT]; /* microseconds per phase; 0 for a phase not reached */
} QVLoginTimings;

/* Ordinal 3100. Fills *timings with what the calling thread measured since its last call
 * (the last login sequence of a caller that takes them after each one: the log-out of
 * the previous login, then connect, TLS, bind and verify of the new one), and clears it.
 * Not a directory call: it talks to no server. Returns QV_OK or QV_ERR_BAD_ARGUMENT. */
QV_API int32_t QVDSTakeLoginTimings(QVLoginTimings* timings);

/* Ordinal 3101. Turns the timing of logins on (non-zero, the default) or off for the
 * whole process; while it is off nothing is measured and the timings taken are empty. */
QV_API int32_t QVDSSetLoginTiming(int32_t on);

#ifdef __cplusplus
}
#endif

#endif
