// SPDX-License-Identifier: MIT
// The public headers as a C++17 compiler sees them: the same types as in C,
// with C linkage.
#include <type_traits>

#include "kelvo_sh_sys.h"
#include "qolib.h"

static_assert(sizeof(bool) == 1, "results and flags are one-byte booleans");
static_assert(sizeof(qo_object) == sizeof(void *) && sizeof(qo_queue) == sizeof(void *),
              "handles are pointers");
static_assert(std::is_same_v<ShMallocFn, void *(*)(size_t)>);
static_assert(std::is_same_v<ShFreeFn, void (*)(void *)>);
static_assert(std::is_same_v<ShLogoutFn, void (*)(const char *)>);
static_assert(std::is_same_v<ShMutexCreateFn, bool (*)(void **)>);
static_assert(std::is_same_v<ShMutexLockFn, bool (*)(void *)>);
static_assert(std::is_same_v<ShMutexUnlockFn, bool (*)(void *)>);
static_assert(std::is_same_v<ShMutexDestroyFn, bool (*)(void **)>);
static_assert(std::is_same_v<ShPostEventFn, bool (*)(uint32_t, const char **, qo_object *, int32_t,
                                                     bool, int32_t *)>);
using NativeFn = bool (*)(uint32_t, qo_object *, int32_t, qo_object *);
static_assert(std::is_same_v<decltype(&sh_delay), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_cancel_delay), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_time_range), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_calendar), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_week_day), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_lunar_time), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_get_second_of_day), NativeFn>);
// The plug-in's own conditions
static_assert(std::is_same_v<decltype(&sh_time_of_day), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_lunar_day), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_solar_term), NativeFn>);
// The plug-in's own timer controls
static_assert(std::is_same_v<decltype(&sh_delay_restart), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_delay_remaining), NativeFn>);
// The home's place and zone, and the sun conditions
static_assert(std::is_same_v<decltype(&sh_set_home_location), bool (*)(double, double)>);
static_assert(std::is_same_v<decltype(&sh_set_home_zone), bool (*)(const char *)>);
static_assert(std::is_same_v<decltype(&sh_sun_window), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_sun_elevation), NativeFn>);
// The holiday schedule
static_assert(std::is_same_v<decltype(&sh_workday), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_holiday), NativeFn>);
static_assert(std::is_same_v<decltype(&sh_holiday_schedule_load), bool (*)(const char *, size_t)>);
static_assert(std::is_same_v<decltype(&sh_holiday_schedule_covers), bool (*)(int32_t)>);
static_assert(std::is_same_v<decltype(&sh_time_update), bool (*)(uint64_t)>);
static_assert(
    std::is_same_v<decltype(&qo_queue_remove_all),
                   size_t (*)(qo_queue, void *, void *, qo_remove_visit_fn, qo_release_fn)>);

int kelvo_abi_cxx17_anchor() {
    return 0;
}
