#include "bench/directory/ldap_reference_loop.h"

#include <ldap.h>
#include <string.h>

long ldapReferenceLogins(const char* url, const char* dn, const char* password, long n) {
    long ok = 0;
    for (long i = 0; i < n; ++i) {
        LDAP* ld = NULL;
        if (ldap_initialize(&ld, url) != LDAP_SUCCESS) continue;
        int version = LDAP_VERSION3;
        ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
        struct berval cred;
        cred.bv_val = (char*)password;
        cred.bv_len = strlen(password);
        if (ldap_sasl_bind_s(ld, dn, LDAP_SASL_SIMPLE, &cred, NULL, NULL, NULL) == LDAP_SUCCESS) {
            struct berval* id = NULL;
            if (ldap_whoami_s(ld, &id, NULL, NULL) == LDAP_SUCCESS && id != NULL) ++ok;
            ber_bvfree(id);
        }
        ldap_unbind_ext_s(ld, NULL, NULL);
    }
    return ok;
}
