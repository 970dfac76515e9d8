/* The reference for the login benchmarks: the same per-login work straight on libldap. */
#ifndef LDAP_REFERENCE_LOOP_H
#define LDAP_REFERENCE_LOOP_H

#ifdef __cplusplus
extern "C" {
#endif

/* Runs n logins: new connection, simple bind, "Who am I?", unbind. Returns how many
 * succeeded. */
long ldapReferenceLogins(const char* url, const char* dn, const char* password, long n);

/* The same, with StartTLS after the connection when startTls is not 0 (an ldaps:// URL
 * has TLS from the start), and the microseconds of each login, on the monotonic clock
 * from the connection's set-up to the unbind, in us[0..n-1] when us is not NULL. */
long ldapReferenceLoginsTimed(const char* url, const char* dn, const char* password, long n, int startTls,
                              long long* us);

#ifdef __cplusplus
}
#endif

#endif
