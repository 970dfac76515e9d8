#include "bench/directory/ldap_reference_loop.h"

#include <ldap.h>
#include <string.h>
#include <time.h>

static long long nowUs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000 + t.tv_nsec / 1000;
}

long ldapReferenceLoginsTimed(const char* url, const char* dn, const char* password, long n, int startTls,
                              long long* us) {
    long ok = 0;
    for (long i = 0; i < n; ++i) {
        const long long start = us ? nowUs() : 0;
        LDAP* ld = NULL;
        if (ldap_initialize(&ld, url) != LDAP_SUCCESS) continue;
        int version = LDAP_VERSION3;
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        struct berval cred;
        cred.bv_val = (char*)password;
        cred.bv_len = strlen(password);
        if ((!startTls || ldap_start_tls_s(ld, NULL, NULL) == LDAP_SUCCESS) &&
            ldap_sasl_bind_s(ld, dn, LDAP_SASL_SIMPLE, &cred, NULL, NULL, NULL) == LDAP_SUCCESS) {
            struct berval* id = NULL;
            if (ldap_whoami_s(ld, &id, NULL, NULL) == LDAP_SUCCESS && id != NULL) ++ok;
            ber_bvfree(id);
        }
        ldap_unbind_ext_s(ld, NULL, NULL);
        if (us) us[i] = nowUs() - start;
    }
    return ok;
}

long ldapReferenceLogins(const char* url, const char* dn, const char* password, long n) {
    return ldapReferenceLoginsTimed(url, dn, password, n, 0, NULL);
}
