/* A plain libldap login loop, for comparing whole programs against it:
 *   ldap_login_loop URL DN PASSWORD N [starttls]
 * Prints the logins that succeeded, the seconds taken, the rate, and the median
 * microseconds of one login (connection to unbind).
 * LOGIN_LOOP_PAUSE_MAX_MS=M waits a random 0 to M ms before each login (outside its time), as
 * a client paced by a controller does, so that the cost of starting each login from an idle
 * machine can be told apart from that of the program. */
#include "bench/directory/ldap_reference_loop.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static int byValue(const void* a, const void* b) {
    const long long x = *(const long long*)a, y = *(const long long*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    if (argc != 5 && !(argc == 6 && strcmp(argv[5], "starttls") == 0)) {
        fprintf(stderr, "usage: ldap_login_loop URL DN PASSWORD N [starttls]\n");
        return 2;
    }
    const long n = strtol(argv[4], NULL, 10);
    if (n <= 0) {
        fprintf(stderr, "ldap_login_loop: N must be a positive number\n");
        return 2;
    }
    long long* us = malloc(sizeof *us * (size_t)n);
    if (!us) return 2;
    const char* pause = getenv("LOGIN_LOOP_PAUSE_MAX_MS");
    const long pauseMaxMs = pause ? strtol(pause, NULL, 10) : 0;
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    long ok = 0;
    if (pauseMaxMs <= 0) {
        ok = ldapReferenceLoginsTimed(argv[1], argv[2], argv[3], n, argc == 6, us);
    } else {
        srand((unsigned)start.tv_nsec);
        for (long i = 0; i < n; ++i) {
            const long ms = rand() % (pauseMaxMs + 1);
            const struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
            nanosleep(&wait, NULL);
            ok += ldapReferenceLoginsTimed(argv[1], argv[2], argv[3], 1, argc == 6, us + i);
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds = (double)(end.tv_sec - start.tv_sec) + (double)(end.tv_nsec - start.tv_nsec) / 1e9;
    qsort(us, (size_t)n, sizeof *us, byValue);
    /* The p50 as the reports define it: the ceil(n / 2)-th smallest value. */
    printf("%ld %.3f %.1f %lld\n", ok, seconds, seconds > 0 ? (double)ok / seconds : 0.0, us[(n + 1) / 2 - 1]);
    free(us);
    return ok == n ? 0 : 1;
}
