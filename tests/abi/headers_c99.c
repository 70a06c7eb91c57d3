// SPDX-License-Identifier: MIT
/* The public headers as a C99 compiler sees them, with the sizes the
 * binary interface relies on. Compiling this file is the check. */
#include "kelvo_sh_sys.h"
#include "qolib.h"

#define ABI_ASSERT(cond, name) typedef char abi_assert_##name[(cond) ? 1 : -1]

ABI_ASSERT(sizeof(bool) == 1, one_byte_bool);
ABI_ASSERT(sizeof(int32_t) == 4 && sizeof(uint32_t) == 4, thirty_two_bit_ids);
ABI_ASSERT(sizeof(uint64_t) == 8, sixty_four_bit_timestamps);
ABI_ASSERT(sizeof(size_t) == sizeof(void *), pointer_sized_sizes);
ABI_ASSERT(sizeof(qo_object) == sizeof(void *), object_handle_is_a_pointer);
ABI_ASSERT(sizeof(qo_queue) == sizeof(void *), queue_handle_is_a_pointer);
ABI_ASSERT(sizeof(ShMallocFn) == sizeof(void *) && sizeof(ShPostEventFn) == sizeof(void *),
           callbacks_are_pointers);

/* Each declaration has exactly the type hosts are written against. */
static void (*const set_hal)(ShMallocFn, ShFreeFn) = sh_callback_set_hal;
static bool (*const post_shape)(uint32_t, const char **, qo_object *, int32_t, bool, int32_t *) = 0;
static bool (*const natives[])(uint32_t, qo_object *, int32_t, qo_object *) = {
    sh_delay,    sh_cancel_delay, sh_time_range,       sh_calendar,
    sh_week_day, sh_lunar_time,   sh_get_second_of_day};
/* The plug-in's own conditions */
static bool (*const own_conditions[])(uint32_t, qo_object *, int32_t,
                                      qo_object *) = {sh_time_of_day, sh_lunar_day, sh_solar_term};
/* The plug-in's own timer controls */
static bool (*const timer_controls[])(uint32_t, qo_object *, int32_t,
                                      qo_object *) = {sh_delay_restart, sh_delay_remaining};
/* The home's place and zone, and the sun conditions */
static bool (*const set_location)(double, double) = sh_set_home_location;
static bool (*const set_zone)(const char *) = sh_set_home_zone;
static bool (*const sun_conditions[])(uint32_t, qo_object *, int32_t,
                                      qo_object *) = {sh_sun_window, sh_sun_elevation};
/* The holiday schedule */
static bool (*const holiday_natives[])(uint32_t, qo_object *, int32_t,
                                       qo_object *) = {sh_workday, sh_holiday};
static bool (*const schedule_load)(const char *, size_t) = sh_holiday_schedule_load;
static bool (*const schedule_covers)(int32_t) = sh_holiday_schedule_covers;
static bool (*const tick)(uint64_t) = sh_time_update;
static const char *(*const version)(void) = qo_sh_sys_version;

int kelvo_abi_c99_anchor(void) {
    ShPostEventFn post = post_shape;
    return (int)(sizeof natives / sizeof natives[0]) +
           (int)(sizeof own_conditions / sizeof own_conditions[0]) +
           (int)(sizeof timer_controls / sizeof timer_controls[0]) +
           (int)(sizeof sun_conditions / sizeof sun_conditions[0]) + (set_location != 0) +
           (set_zone != 0) + (set_hal != 0) + (post == 0) + (tick != 0) + (version != 0) +
           (int)(sizeof holiday_natives / sizeof holiday_natives[0]) + (schedule_load != 0) +
           (schedule_covers != 0);
}
