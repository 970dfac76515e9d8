/* The plain libldap login loop on several threads, for the paced batch run's figures:
 *   ldap_threaded_loop URL DN PASSWORD THREADS SECONDS [RATE]
 * Each thread makes logins one after another (new connection, simple bind, "Who am I?",
 * unbind) until SECONDS have passed. Prints the logins that succeeded, the seconds taken and
 * the rate.
 * With RATE, the logins are due evenly at RATE a second instead: each free thread takes the
 * next due time, sleeps until it and runs the login, the least a paced load generator does.
 * Then the line goes on with the schedule lag (due to start) p50 and p99 in ms: what this
 * machine allows a paced client at that rate, as the reference for its own lag. */
#include "bench/directory/ldap_reference_loop.h"

#include <pthread.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <time.h>

struct Work {
    const char* url;
    const char* dn;
    const char* password;
    double endS;
    long ok;
};

/* The paced schedule, shared by every thread. */
static double rate;
static long slots;
static long long startNs;
static atomic_long next;
static long long* lagUs; /* per slot; -1 when it never started */

static long long nowNs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000000LL + t.tv_nsec;
}

static double nowS(void) { return (double)nowNs() / 1e9; }

static void* run(void* arg) {
    struct Work* w = arg;
    while (nowS() < w->endS) w->ok += ldapReferenceLogins(w->url, w->dn, w->password, 1);
    return NULL;
}

static void* runPaced(void* arg) {
    struct Work* w = arg;
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); /* as the paced client's workers */
    for (;;) {
        const long i = atomic_fetch_add(&next, 1);
        if (i >= slots) break;
        const long long due = startNs + (long long)((double)i * 1e9 / rate);
        const struct timespec at = {(time_t)(due / 1000000000LL), (long)(due % 1000000000LL)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, NULL) != 0) {
        }
        lagUs[i] = (nowNs() - due) / 1000;
        w->ok += ldapReferenceLogins(w->url, w->dn, w->password, 1);
    }
    return NULL;
}

static int byValue(const void* a, const void* b) {
    const long long x = *(const long long*)a, y = *(const long long*)b;
    return (x > y) - (x < y);
}

int main(int argc, char** argv) {
    if (argc != 6 && argc != 7) {
        fprintf(stderr, "usage: ldap_threaded_loop URL DN PASSWORD THREADS SECONDS [RATE]\n");
        return 2;
    }
    const long threads = strtol(argv[4], NULL, 10);
    const double seconds = strtod(argv[5], NULL);
    rate = argc == 7 ? strtod(argv[6], NULL) : 0;
    if (threads < 1 || threads > 1024 || seconds <= 0 || rate < 0 || rate * seconds > 1e8) {
        fprintf(stderr,
                "ldap_threaded_loop: THREADS from 1 to 1024, SECONDS above 0, RATE x SECONDS at most 1e8\n");
        return 2;
    }
    pthread_t* ids = calloc((size_t)threads, sizeof *ids);
    struct Work* work = calloc((size_t)threads, sizeof *work);
    if (!ids || !work) return 2;
    if (rate > 0) {
        slots = (long)(rate * seconds);
        lagUs = malloc((size_t)(slots > 0 ? slots : 1) * sizeof *lagUs);
        if (!lagUs) return 2;
        for (long i = 0; i < slots; ++i) lagUs[i] = -1;
    }
    const double start = nowS();
    startNs = nowNs() + 10000000LL; /* the first login due 10 ms on, once every thread is up */
    for (long i = 0; i < threads; ++i) {
        work[i] = (struct Work){argv[1], argv[2], argv[3], start + seconds, 0};
        if (pthread_create(&ids[i], NULL, rate > 0 ? runPaced : run, &work[i]) != 0) return 2;
    }
    long ok = 0;
    for (long i = 0; i < threads; ++i) {
        pthread_join(ids[i], NULL);
        ok += work[i].ok;
    }
    const double taken = nowS() - start;
    printf("%ld %.3f %.1f", ok, taken, (double)ok / taken);
    if (rate > 0 && slots > 0) {
        qsort(lagUs, (size_t)slots, sizeof *lagUs, byValue);
        printf(" %.3f %.3f", (double)lagUs[slots / 2] / 1000.0, (double)lagUs[(slots * 99) / 100] / 1000.0);
    }
    printf("\n");
    free(ids);
    free(work);
    free(lagUs);
    return ok > 0 ? 0 : 1;
}
