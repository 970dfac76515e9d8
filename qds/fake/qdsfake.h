/* Control of the recording double of the directory client libraries.
 *
 * The double has the same three libraries as the real ones (libqvconnapi.so,
 * libqvintlapi.so, libqvdsapi.so). Every call succeeds (returns 0) unless a failure
 * was injected for it. Context handles count 1, 2, 3 ... from the last reset; the
 * connection handle (key 8) of context h is 1000 + h.
 *
 * Recording format: one text per call, "Name(arg,arg,...)", in call order:
 *   - integers in signed decimal: "QVCallsInit(0,0)", "QVInitUnicodeTables(1252,1)";
 *   - texts as they are, byte for byte: "QVDSSetContext(1,3,Users.Vantric)",
 *     "QVDSLogin(1,0,alice,secret,0)";
 *   - an output pointer as "&", a null pointer as "NULL": "QVDSCreateContextHandle(&)",
 *     "QVGetLocaleInfo(&)", "QVDSGetContext(1,8,&)";
 *   - no arguments: "QVFreeUnicodeTables()".
 * A failed call is recorded like any other.
 *
 * Environment, read when the library is loaded (entries separated by commas):
 *   QDSFAKE_RECORD=1                       record calls (off by default in programs)
 *   QDSFAKE_FAIL=QVDSLogin:-203            every call of that operation fails
 *   QDSFAKE_FAIL_NTH=QVDSLogin:3:-203      only the 3rd call fails
 *   QDSFAKE_FAIL_USER=bob:-203             QVDSLogin fails for that user name
 *   QDSFAKE_LOGIN_DELAY_US=200             every QVDSLogin takes that long
 *   QDSFAKE_PHASE_US=connect:50,tls:300    virtual phase figures (see below)
 *   QDSFAKE_SERVERS=2                      a directory of known capacity (with the next;
 *   QDSFAKE_SERVICE_US=2000                see below)
 *   QDSFAKE_SERVERS_FILE=/tmp/servers      ... shared by every process naming the file
 * Malformed entries are reported on standard error and ignored.
 *
 * Login timing (QVDSTakeLoginTimings) reports virtual figures, the same on every login:
 * QVDSLogin reports connect (default 0 us), TLS (default: not reached) and the login
 * delay as bind; QVDSAuthenticateConn reports verify (default 0 us); QVDSLogout, and
 * QVDSFreeContext ending a login, report unbind (default 0 us). A login that fails by an
 * injected code reports the same phases (the double waited its delay either way). Only
 * the delay is really waited; the other figures are reported, not spent.
 * A directory of known capacity (QDSFAKE_SERVERS=C, QDSFAKE_SERVICE_US=S, or
 * qdsfake_set_servers): every QVDSLogin, after its login delay, takes S us of one of C
 * servers shared by every thread of the process. A login that finds all C busy waits in
 * a queue (first come, first served) for the first to be free, and returns when it has
 * been served; queueing and service are reported as part of its bind phase. Each
 * server's busy time is booked on the steady clock rather than slept, so a late wake-up
 * adds to one login's latency and never to the next one's: the capacity is exactly
 * C * 1,000,000 / S logins per second.
 * With QDSFAKE_SERVERS_FILE=PATH (or qdsfake_share_servers) the servers' free times are
 * kept in that file (made when missing; C values of 8 bytes, under flock) instead of in the
 * process, so that every process naming it (each with the same C and S) shares the same C
 * servers: a fleet of client processes against one directory of capacity C * 1,000,000 / S.
 * The steady clock is the machine's, so the processes' times compare. A file that cannot be
 * read or written leaves each login to the process's own servers.
 * QVDSTakeLoginTimings and QVDSSetLoginTiming are not recorded: they observe the login
 * sequence and are no part of it. */
#ifndef QDSFAKE_H
#define QDSFAKE_H

#include <stddef.h>
#include <stdint.h>

#if defined(QDSFAKE_BUILDING)
#define QDSFAKE_API __attribute__((visibility("default")))
#else
#define QDSFAKE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Clears the recording, every injected failure, the login delay, the servers and the
 * handle counters, and turns recording on. */
QDSFAKE_API void qdsfake_reset(void);
/* Turns recording on (non-zero) or off; the recording so far is kept. */
QDSFAKE_API void qdsfake_set_recording(int on);

/* Every later call of the operation (e.g. "QVDSLogin", "QVDSSetContext") returns code. */
QDSFAKE_API void qdsfake_fail(const char* operation, int32_t code);
/* Only the n-th call (1-based, counted from the last reset) of the operation fails. */
QDSFAKE_API void qdsfake_fail_nth(const char* operation, unsigned n, int32_t code);
/* QVDSLogin fails with code for that user name. */
QDSFAKE_API void qdsfake_fail_user(const char* userName, int32_t code);
/* Each QVDSLogin takes that long before it returns; reported as its bind phase. */
QDSFAKE_API void qdsfake_set_login_delay_us(uint32_t us);
/* A directory of known capacity: servers servers of service_us each (see above); 0 for
 * either turns it off. Reset turns it off. */
QDSFAKE_API void qdsfake_set_servers(uint32_t servers, uint32_t service_us);
/* Keeps the servers' free times in the file at path, shared with every process that names
 * it (see above); NULL: in this process again. Returns 0, or -1 when the file cannot be
 * opened (the servers are then this process's own). Reset returns them to the process. */
QDSFAKE_API int qdsfake_share_servers(const char* path);
/* The virtual figure reported for a phase (QV_PHASE_CONNECT, _TLS, _VERIFY, _UNBIND of
 * qvdsapi.h) in microseconds; a negative value: the phase is not reached. The bind phase
 * is the login delay and is not set here. Reset restores the defaults. */
QDSFAKE_API void qdsfake_set_phase_us(int32_t phase, int64_t us);

/* Number of recorded calls, and one of them (index from 0) as text, or NULL when the
 * index is out of range. The text stays valid until the next reset. */
QDSFAKE_API size_t qdsfake_call_count(void);
QDSFAKE_API const char* qdsfake_call(size_t index);

/* Resources the caller holds now: contexts created and not released, logins made and
 * not ended, Unicode-table set-ups not released. */
QDSFAKE_API int qdsfake_open_contexts(void);
QDSFAKE_API int qdsfake_open_logins(void);
QDSFAKE_API int qdsfake_open_unicode_tables(void);

#ifdef __cplusplus
}
#endif

#endif
