/* A plain libldap login loop, for comparing whole programs against it:
 *   ldap_login_loop URL DN PASSWORD N
 * Prints the logins that succeeded, the seconds taken and the rate. */
#include "bench/directory/ldap_reference_loop.h"

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: ldap_login_loop URL DN PASSWORD N\n");
        return 2;
    }
    const long n = strtol(argv[4], NULL, 10);
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const long ok = ldapReferenceLogins(argv[1], argv[2], argv[3], n);
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%ld %.3f %.1f\n", ok, seconds, seconds > 0 ? (double)ok / seconds : 0.0);
    return ok == n ? 0 : 1;
}
