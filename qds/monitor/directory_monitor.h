/* A reader of a directory server's own counters (its monitor entries), over one LDAP
 * connection of its own. Plain C, so that programs need not see libldap.
 *
 * Two kinds of monitor entries are recognised by what the server holds:
 *  - "cn=Monitor" subtree of counter entries: binds initiated and completed
 *    (cn=Bind,cn=Operations), open connections (cn=Current,cn=Connections), read and
 *    write waiters (cn=Read / cn=Write,cn=Waiters), threads (cn=Open,cn=Threads);
 *  - one "cn=monitor" entry with the attributes opsinitiated, opscompleted,
 *    currentconnections, readwaiters and threads: there the operations of every kind are
 *    counted, not binds alone, and write waiters are not known.
 * Every wait is bounded by the time-outs given to dirmon_open. */
#ifndef TARROW_DIRECTORY_MONITOR_H
#define TARROW_DIRECTORY_MONITOR_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum DirmonDialect {
    DIRMON_NONE = 0,            /* no monitor entries could be read */
    DIRMON_COUNTER_SUBTREE = 1, /* cn=Bind,cn=Operations,cn=Monitor and its neighbours */
    DIRMON_OPS_ENTRY = 2        /* cn=monitor with opsinitiated, opscompleted, ... */
};

/* One reading. A figure the server did not show is -1. */
typedef struct DirmonSample {
    int dialect;             /* enum DirmonDialect */
    long long initiated;     /* binds (DIRMON_COUNTER_SUBTREE) or operations (DIRMON_OPS_ENTRY) */
    long long completed;     /* the same, completed */
    long long connections;   /* open connections, this reader's own included */
    long long read_waiters;  /* connections waiting to be read */
    long long write_waiters; /* connections waiting to be written; -1 for DIRMON_OPS_ENTRY */
    long long threads;       /* the server's worker threads */
} DirmonSample;

typedef struct Dirmon Dirmon;

/* Prepares a reader of the server at uri (ldap://host:port, or host:port); it connects on
 * the first read. bind_dn NULL or empty binds anonymously. Returns NULL and an error text
 * in error (error_size bytes) when the URI is not one. */
Dirmon* dirmon_open(const char* uri, const char* bind_dn, const char* password, int connect_timeout_ms,
                    int op_timeout_ms, char* error, size_t error_size);

/* Reads the counters once (connecting and binding first when no connection is open).
 * Returns 0 and fills sample, or -1 with the reason in error; a failed read drops the
 * connection, so the next read connects anew. */
int dirmon_read(Dirmon* monitor, DirmonSample* sample, char* error, size_t error_size);

/* The binds this reader sent since dirmon_open: the server counts them among its own. */
unsigned long long dirmon_own_binds(const Dirmon* monitor);

/* Closes the connection and frees the reader. NULL is ignored. */
void dirmon_close(Dirmon* monitor);

#ifdef __cplusplus
}
#endif

#endif
