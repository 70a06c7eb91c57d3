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
 * Delays measure how far the ticks have moved forward, not timestamps: each
 * tick later than the one before adds the difference, a tick at the same
 * time or earlier (a corrected clock, the end of daylight saving time) adds
 * nothing, and the first tick after sh_func_manager_init adds nothing. A
 * delay of L seconds fires at the first tick at which the forward movement
 * since its request reaches L * 1000 ms. The plug-in has no clock of its own
 * and cannot tell a forward jump of the clock from time that passed: a jump
 * counts in full.
 *
 * Setters, init and deinit are not thread-safe and are ignored (setters)
 * while the manager is initialised. Callbacks run under the host mutex must
 * not call back into sh_delay, sh_cancel_delay, sh_time_update,
 * sh_func_manager_delay_task_delete, sh_delay_restart or sh_delay_remaining
 * on the same thread.
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
/* Posts the second of the day at the first tick after init, and later
 * whenever it changes; then fires the delays that are due. */
KELVO_SH_SYS_API bool sh_time_update(uint64_t timestamp);
KELVO_SH_SYS_API bool sh_func_manager_delay_task_delete(uint32_t vmId);

/* Script natives: (vmId, argv, argc, out) */
/* argv: delay id, length in seconds, both int32 (anything else is refused);
 * a negative length is 0. True when pending afterwards; a pending delay with
 * that id stays as it was. out is not written. */
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

/* This plug-in's own conditions, beyond the standard set. Each argument must
 * be an int32 within its range; otherwise status false and out false. */
/* argv: start second, end second, each 0..86400. out: bool, the second of
 * the day lies in [start, end), over midnight when start > end. */
KELVO_SH_SYS_API bool sh_time_of_day(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: lunar month 1..12; day 1..30, or -1 for the month's last day; leap
 * 0 the ordinary month, 1 the leap month, -1 either. out: bool. */
KELVO_SH_SYS_API bool sh_lunar_day(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: solar term 1 (Start of Spring) .. 24 (Major Cold), or 0 for any;
 * the day counted in UTC+8, home years 1970..2099. out: bool. */
KELVO_SH_SYS_API bool sh_solar_term(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* Timer controls: this plug-in's own natives, beyond the standard set. */
/* argv: delay id, length in seconds, as sh_delay; a pending delay with that
 * id starts again now with the new length. True when pending afterwards.
 * out is not written. */
KELVO_SH_SYS_API bool sh_delay_restart(uint32_t vmId, qo_object *argv, int32_t argc,
                                       qo_object *out);
/* argv: delay id. Status 1; out: int32 whole seconds, rounded up, until the
 * VM's pending delay with that id is due (0 when due at the next tick), or
 * -1 when none is pending. A wrong argument: status 0, out false. */
KELVO_SH_SYS_API bool sh_delay_remaining(uint32_t vmId, qo_object *argv, int32_t argc,
                                         qo_object *out);

/* The home's place and zone, for the sun natives. Both answer true when
 * taken; false when the manager is not initialised or the value is bad (one
 * log line says what is wrong), and the previous setting stays. They work
 * while the manager is initialised, from any thread, also while natives run:
 * a native sees the old setting or the new one, never a mix of the two.
 * sh_func_manager_deinit drops both: set them again after the next init. */
/* Degrees, north and east positive: latitude -90..90, longitude
 * -180..180, both finite. */
KELVO_SH_SYS_API bool sh_set_home_location(double latitude, double longitude);
/* A POSIX TZ string, as OpenWrt's system.timezone keeps it: "CST-8",
 * "CET-1CEST,M3.5.0,M10.5.0/3". Home time (sh_time_update) is the local
 * time of this zone. */
KELVO_SH_SYS_API bool sh_set_home_zone(const char *tz);
/* Sun conditions, the plug-in's own. Without a home location or zone they
 * answer status 1 and false, and the first such question after init logs
 * which setting is missing. Arguments as the plug-in's own conditions check
 * them: an int32 within range, else status 0 and false. */
/* argv: from event, from offset, to event, to offset. Events: 1 sunrise,
 * 2 sunset (the sun's centre 0.833 degrees below the horizon), 3 civil dawn,
 * 4 civil dusk (6 degrees below), 5 solar noon; offsets in seconds,
 * -43200..43200. The window of home day D opens at D's from event + from
 * offset and closes at the to event + to offset of the same day when the to
 * event comes later in the sun's day (dawn, sunrise, noon, sunset, dusk),
 * or is the same event with a later offset, otherwise of day D+1; empty
 * when it would not close after it opens.
 * out: bool, home time lies in some day's window. Day D's events are those
 * around the solar noon nearest to D's home noon; where one does not happen
 * (polar day or night) it is placed at a day boundary: with the sun above
 * its altitude all day a rise or dawn at D 00:00 and a set or dusk at D+1
 * 00:00, with the sun below the other way round. */
KELVO_SH_SYS_API bool sh_sun_window(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: low, high, in tenths of a degree, -900..900, low <= high. out: bool,
 * the sun's geometric elevation now lies in [low, high]. Home time is turned
 * into UTC through the zone; a time the clock shows twice (summer time ends)
 * is taken as the earlier instant, in summer time. */
KELVO_SH_SYS_API bool sh_sun_elevation(uint32_t vmId, qo_object *argv, int32_t argc,
                                       qo_object *out);
/* The holiday schedule of mainland China: the days the State Council's
 * notices give off and the Saturdays and Sundays they make working days.
 * The schedule of data/holidays-cn.txt (2004..2026) is built in and in force
 * from sh_func_manager_init. Both functions work while the manager is
 * initialised, from any thread, also while the natives run (they read the
 * schedule without a lock and never see half of a load); before init they
 * answer false. Loaded years are dropped at sh_func_manager_deinit, like
 * everything the host hands over: load them again after each init. */
/* text: a schedule in the format of data/holidays-cn.txt, length bytes (no
 * NUL needed), at most 65536. Adds its years, replacing any year the
 * schedule had. Everything is checked before anything changes: on any fault
 * (an unknown word, an impossible date, a worked day that is no Saturday or
 * Sunday, a day given twice, a year out of 1970..2099, a text too long, no
 * memory) it answers false, logs one line naming the line number and the
 * fault, and the schedule stays as it was. Blocks come from the host
 * allocator. */
KELVO_SH_SYS_API bool sh_holiday_schedule_load(const char *text, size_t length);
/* Whether the schedule (built in or loaded) has a section for that year. */
KELVO_SH_SYS_API bool sh_holiday_schedule_covers(int32_t year);
/* argv: days ahead -7..7 (0 today, 1 tomorrow). out: bool, that home date
 * is a working day: Monday to Friday unless the schedule gives it off, or a
 * Saturday or Sunday it makes a working day. A year without a schedule
 * answers by the plain week (and logs one line the first time). */
KELVO_SH_SYS_API bool sh_workday(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);
/* argv: holiday 0..8 (1 New Year's Day, 2 Spring Festival, 3 Qingming,
 * 4 Labour Day, 5 Dragon Boat, 6 Mid-Autumn, 7 National Day, 8 any other day
 * off a notice gives, 0 any of them), days ahead -7..7. out: bool, that home
 * date lies in the holiday's break: the run of consecutive days off,
 * weekends included, holding a day given off for it. False in a year
 * without a schedule. */
KELVO_SH_SYS_API bool sh_holiday(uint32_t vmId, qo_object *argv, int32_t argc, qo_object *out);

#ifdef __cplusplus
}
#endif

#endif /* KELVO_SH_SYS_H */
