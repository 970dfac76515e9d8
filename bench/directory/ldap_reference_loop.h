/* The reference for the login benchmark: the same per-login work straight on libldap. */
#ifndef LDAP_REFERENCE_LOOP_H
#define LDAP_REFERENCE_LOOP_H

#ifdef __cplusplus
extern "C" {
#endif

/* Runs n logins: new connection, simple bind, "Who am I?", unbind. Returns how many
 * succeeded. */
long ldapReferenceLogins(const char* url, const char* dn, const char* password, long n);

#ifdef __cplusplus
}
#endif

#endif
