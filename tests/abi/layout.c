// SPDX-License-Identifier: MIT
/* The public headers' binary layout as one compilation sees it. Built twice,
 * with and without 64-bit time_t and off_t (-D_TIME_BITS=64
 * -D_FILE_OFFSET_BITS=64 on 32-bit glibc), under two names; the tests
 * compare the two tables. */
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

/* Any mention of time_t or off_t in the public headers names an undeclared
 * type from here on, and does not compile. (The C library's own headers
 * may declare them already, as mingw-w64's <stddef.h> does, so the names
 * are caught, not their declarations.) */
#define time_t kelvo_public_headers_must_not_use_time_t
#define off_t kelvo_public_headers_must_not_use_off_t
#include "kelvo_sh_sys.h"
#include "qolib.h"
#undef time_t
#undef off_t

#define LAYOUT(type)                                                                               \
    {                                                                                              \
#type, sizeof(type),                                                                       \
            offsetof(                                                                              \
                struct {                                                                           \
                    char c;                                                                        \
                    type t;                                                                        \
                },                                                                                 \
                t)                                                                                 \
    }

struct kelvo_layout_entry {
    const char *name;
    size_t size;
    size_t align;
};

typedef void (*set_hal_fn)(ShMallocFn, ShFreeFn);
typedef bool (*native_fn)(uint32_t, qo_object *, int32_t, qo_object *);
typedef bool (*time_update_fn)(uint64_t);

static const struct kelvo_layout_entry ENTRIES[] = {
    LAYOUT(bool),
    LAYOUT(size_t),
    LAYOUT(int32_t),
    LAYOUT(uint32_t),
    LAYOUT(uint64_t),
    LAYOUT(qo_object),
    LAYOUT(qo_queue),
    LAYOUT(qo_malloc_fn),
    LAYOUT(qo_free_fn),
    LAYOUT(qo_find_visit_fn),
    LAYOUT(qo_remove_visit_fn),
    LAYOUT(qo_foreach_visit_fn),
    LAYOUT(qo_release_fn),
    LAYOUT(ShMallocFn),
    LAYOUT(ShFreeFn),
    LAYOUT(ShLogoutFn),
    LAYOUT(ShMutexCreateFn),
    LAYOUT(ShMutexLockFn),
    LAYOUT(ShMutexUnlockFn),
    LAYOUT(ShMutexDestroyFn),
    LAYOUT(ShPostEventFn),
    LAYOUT(set_hal_fn),
    LAYOUT(native_fn),
    LAYOUT(time_update_fn),
};

const struct kelvo_layout_entry *KELVO_LAYOUT_NAME(size_t *count) {
    /* The declarations must also be the ones hosts link against. */
    static const native_fn natives[] = {
        sh_delay,    sh_cancel_delay, sh_time_range,       sh_calendar,
        sh_week_day, sh_lunar_time,   sh_get_second_of_day};
    static const time_update_fn tick = sh_time_update;
    *count = sizeof ENTRIES / sizeof ENTRIES[0] + 0 * (sizeof natives + sizeof tick);
    return ENTRIES;
}
