// SPDX-License-Identifier: MIT
/*
 * kelvo-sh-sys: time services for kelvo script VMs.
 *
 * Calling order expected from the host:
 *   1. the four callback setters, in any order;
 *   2. sh_set_varkey_delay and sh_set_varkey_timevalue (after the allocator
 *      pair is set: the names are copied with it);
 *   3. sh_func_manager_init;
 *   4. operation: sh_time_update, the script natives,
 *      sh_func_manager_delay_task_delete, from any threads;
 *   5. sh_func_manager_deinit, after the last operation of step 4 has
 *      returned. It clears the callbacks and names: start again at step 1.
 *
 * Setters, init and deinit are not thread-safe and are ignored (setters)
 * while the manager is initialised. Callbacks run under the host mutex must
 * not call back into sh_delay, sh_cancel_delay, sh_time_update or
 * sh_func_manager_delay_task_delete on the same thread.
 */
#ifndef KELVO_SH_SYS_H
#define KELVO_SH_SYS_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "kelvo_sh_sys_version.h"
#include "qolib.h"

#if defined(_WIN32)
#if defined(KELVO_SH_SYS_BUILDING)
#define KELVO_SH_SYS_API __declspec(dllexport)
#else
#define KELVO_SH_SYS_API __declspec(dllimport)
#endif
#else
#define KELVO_SH_SYS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void *(*ShMallocFn)(size_t size);
typedef void (*ShFreeFn)(void *block);
typedef void (*ShLogoutFn)(const char *line);
typedef bool (*ShMutexCreateFn)(void **mutex); /* receives the address of the handle */
typedef bool (*ShMutexLockFn)(void *mutex);    /* receives the handle */
typedef bool (*ShMutexUnlockFn)(void *mutex);
typedef bool (*ShMutexDestroyFn)(void **mutex);
/* Asks the host to set names[i] to values[i] in VM vmId. The arrays and
 * values are released when the call returns: copy what you keep. */
typedef bool (*ShPostEventFn)(uint32_t vmId, const char **names, qo_object *values, int32_t count,
                              bool flag, int32_t *errCode);

/* Host binding and lifecycle */
KELVO_SH_SYS_API void sh_callback_set_hal(ShMallocFn pfnMalloc, ShFreeFn pfnFree);
KELVO_SH_SYS_API void sh_callback_set_logout(ShLogoutFn pfnLogout);
KELVO_SH_SYS_API void sh_callback_set_mutex(ShMutexCreateFn pfnMutexCreate,
                                            ShMutexLockFn pfnMutexLock,
                                            ShMutexUnlockFn pfnMutexUnlock,
                                            ShMutexDestroyFn pfnMutexDestroy);
KELVO_SH_SYS_API void sh_callback_set_postevent(ShPostEventFn pfnPostEvent);
KELVO_SH_SYS_API void sh_set_varkey_delay(const char *name);
KELVO_SH_SYS_API void sh_set_varkey_timevalue(const char *name);
KELVO_SH_SYS_API bool sh_func_manager_init(void);
KELVO_SH_SYS_API bool sh_func_manager_deinit(void);
KELVO_SH_SYS_API const char *qo_sh_sys_version(void);

/* Tick and delay management */
KELVO_SH_SYS_API bool sh_time_update(uint64_t timestamp);
KELVO_SH_SYS_API bool sh_func_manager_delay_task_delete(uint32_t vmId);

/* Script natives: (vmId, argv, argc, out) */
/* argv: delay id, length in seconds. out is not written. */
KELVO_SH_SYS_API bool sh_delay(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: delay id. out is not written. */
KELVO_SH_SYS_API bool sh_cancel_delay(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: start year, month, day, second of day, end year, month, day, second
 * of day; years from 2000, -1 in a date field means today's. out: bool. */
KELVO_SH_SYS_API bool sh_time_range(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: year (from 2000), month, day. out: bool. */
KELVO_SH_SYS_API bool sh_calendar(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: weekday mask, bit 0 Monday ... bit 6 Sunday. out: bool. */
KELVO_SH_SYS_API bool sh_week_day(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: lunar month, lunar day. out: bool. */
KELVO_SH_SYS_API bool sh_lunar_time(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv unused. out: int32 second of the day, 0..86399. */
KELVO_SH_SYS_API bool sh_get_second_of_day(uint32_t vmId, qo_object *argv, int32_t argc,
                                           qo_object *out);

#ifdef __cplusplus
}
#endif

#endif /* KELVO_SH_SYS_H */
