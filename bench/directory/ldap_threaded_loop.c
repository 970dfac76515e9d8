/* The plain libldap login loop on several threads, for the paced batch run's throughput:
 *   ldap_threaded_loop URL DN PASSWORD THREADS SECONDS
 * Each thread makes logins one after another (new connection, simple bind, "Who am I?",
 * unbind) until SECONDS have passed. Prints the logins that succeeded, the seconds taken and
 * the rate. */
#include "bench/directory/ldap_reference_loop.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

struct Work {
    const char* url;
    const char* dn;
    const char* password;
    double endS;
    long ok;
};

static double nowS(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void* run(void* arg) {
    struct Work* w = arg;
    while (nowS() < w->endS) w->ok += ldapReferenceLogins(w->url, w->dn, w->password, 1);
    return NULL;
}

int main(int argc, char** argv) {
    if (argc != 6) {
        fprintf(stderr, "usage: ldap_threaded_loop URL DN PASSWORD THREADS SECONDS\n");
        return 2;
    }
    const long threads = strtol(argv[4], NULL, 10);
    const double seconds = strtod(argv[5], NULL);
    if (threads < 1 || threads > 1024 || seconds <= 0) {
        fprintf(stderr, "ldap_threaded_loop: THREADS from 1 to 1024, SECONDS above 0\n");
        return 2;
    }
    pthread_t* ids = calloc((size_t)threads, sizeof *ids);
    struct Work* work = calloc((size_t)threads, sizeof *work);
    if (!ids || !work) return 2;
    const double start = nowS();
    for (long i = 0; i < threads; ++i) {
        work[i] = (struct Work){argv[1], argv[2], argv[3], start + seconds, 0};
        if (pthread_create(&ids[i], NULL, run, &work[i]) != 0) return 2;
    }
    long ok = 0;
    for (long i = 0; i < threads; ++i) {
        pthread_join(ids[i], NULL);
        ok += work[i].ok;
    }
    const double taken = nowS() - start;
    printf("%ld %.3f %.1f\n", ok, taken, (double)ok / taken);
    free(ids);
    free(work);
    return ok > 0 ? 0 : 1;
}
