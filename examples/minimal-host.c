// SPDX-License-Identifier: MIT
/*
 * minimal-host: the smallest complete kelvo host of the time plug-in, in
 * plain C99. It hands over the services, registers one delay of two
 * seconds, ticks a simulated clock until the delay's event arrives, and
 * shuts the plug-in down. Exit status 0 when the event came and nothing
 * leaked.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kelvo_sh_sys.h"

/* The host mutex: a critical section on Windows, a pthread mutex elsewhere. */
#if defined(_WIN32)
#include <windows.h>
typedef CRITICAL_SECTION host_mutex;
static bool host_mutex_init(host_mutex *m) {
    InitializeCriticalSection(m);
    return true;
}
static bool host_mutex_lock(host_mutex *m) {
    EnterCriticalSection(m);
    return true;
}
static bool host_mutex_unlock(host_mutex *m) {
    LeaveCriticalSection(m);
    return true;
}
static void host_mutex_fini(host_mutex *m) {
    DeleteCriticalSection(m);
}
#else
#include <pthread.h>
typedef pthread_mutex_t host_mutex;
static bool host_mutex_init(host_mutex *m) {
    return pthread_mutex_init(m, NULL) == 0;
}
static bool host_mutex_lock(host_mutex *m) {
    return pthread_mutex_lock(m) == 0;
}
static bool host_mutex_unlock(host_mutex *m) {
    return pthread_mutex_unlock(m) == 0;
}
static void host_mutex_fini(host_mutex *m) {
    pthread_mutex_destroy(m);
}
#endif

static long g_blocks;         /* host blocks alive */
static int g_delayEvents;     /* delay events received */
static int32_t g_lastDelayId; /* value of the last delay event */

static void *host_malloc(size_t size) {
    void *p = malloc(size);
    if (p != NULL)
        g_blocks++;
    return p;
}

static void host_free(void *block) {
    if (block != NULL)
        g_blocks--;
    free(block);
}

static void host_log(const char *line) {
    printf("plug-in: %s\n", line);
}

static bool mutex_create(void **mutex) {
    host_mutex *m = malloc(sizeof *m);
    if (m == NULL || !host_mutex_init(m)) {
        free(m);
        return false;
    }
    *mutex = m;
    return true;
}

static bool mutex_lock(void *mutex) {
    return host_mutex_lock(mutex);
}
static bool mutex_unlock(void *mutex) {
    return host_mutex_unlock(mutex);
}

static bool mutex_destroy(void **mutex) {
    host_mutex_fini(*mutex);
    free(*mutex);
    *mutex = NULL;
    return true;
}

/* Copies what it keeps: the arrays and values die when this returns. */
static bool post_event(uint32_t vmId, const char **names, qo_object *values, int32_t count,
                       bool flag, int32_t *errCode) {
    bool ok = false;
    int32_t value;
    (void)flag;
    if (count != 1) {
        *errCode = 1;
        return false;
    }
    value = qo_object_to_int32(values[0], &ok);
    if (vmId != 0 && ok && strcmp(names[0], "DelayId") == 0) {
        g_delayEvents++;
        g_lastDelayId = value;
        printf("event: vm %u  %s = %d\n", (unsigned)vmId, names[0], (int)value);
    }
    return ok;
}

int main(void) {
    const uint64_t start = 1707523140000ULL; /* 2024-02-09 23:59:00 home time */
    qo_object argv[2];
    uint64_t now;
    bool accepted;

    sh_callback_set_hal(host_malloc, host_free);
    sh_callback_set_logout(host_log);
    sh_callback_set_mutex(mutex_create, mutex_lock, mutex_unlock, mutex_destroy);
    sh_callback_set_postevent(post_event);
    sh_set_varkey_delay("DelayId");
    sh_set_varkey_timevalue("SecondOfDay");
    if (!sh_func_manager_init()) {
        fprintf(stderr, "minimal-host: the plug-in refused to start\n");
        return 1;
    }
    printf("kelvo-sh-sys %s\n", qo_sh_sys_version());

    sh_time_update(start);
    argv[0] = qo_object_new_int32(42); /* delay id */
    argv[1] = qo_object_new_int32(2);  /* seconds */
    accepted = sh_delay(1, argv, 2, NULL);
    qo_object_free(&argv[0]);
    qo_object_free(&argv[1]);
    printf("sh_delay(vm 1, id 42, 2 s) -> %s\n", accepted ? "true" : "false");

    for (now = start; now <= start + 5000 && g_delayEvents == 0; now += 100)
        sh_time_update(now);

    sh_func_manager_deinit();
    printf("delay events: %d, host blocks leaked: %ld\n", g_delayEvents, g_blocks);
    return accepted && g_delayEvents == 1 && g_lastDelayId == 42 && g_blocks == 0 ? 0 : 1;
}
