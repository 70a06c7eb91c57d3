// SPDX-License-Identifier: MIT
// Records of the plug-in core: the host's callback table and a pending delay.
#ifndef SH_SYS_FUNC_H
#define SH_SYS_FUNC_H

#include <cstddef>
#include <cstdint>

#include "kelvo_sh_sys.h"
#include "sh-sys-var.h"

// The eight host services, all null until the host hands them over.
struct ShModule {
    ShMallocFn pfnMalloc;
    ShFreeFn pfnFree;
    ShLogoutFn pfnLogout;
    ShMutexCreateFn pfnMutexCreate;
    ShMutexLockFn pfnMutexLock;
    ShMutexUnlockFn pfnMutexUnlock;
    ShMutexDestroyFn pfnMutexDestroy;
    ShPostEventFn pfnPostEvent;
};

// One pending delay, from the host allocator; only the queue points at it.
struct DelayTaskData {
    uint64_t ullStartTime; // the delays' clock (forward movement of the ticks) when started
    uint64_t ullDelayMs;   // seconds * 1000, a negative length taken as 0
    int32_t iDelayId;
    uint32_t iVmId; // never 0
};

// One log line of at most 126 characters to the host's sink; nothing is
// formatted when no sink is set.
__attribute__((format(printf, 1, 2))) void sh_log_out(const char *format, ...);

// What the plug-in's own natives (sh-sys-own.cpp and the units beside it)
// share with the core.

// Zeroed memory from the host allocator; null without one or on overflow.
void *sh_calloc(size_t count, size_t size);
// Back to the host allocator; a null block is ignored.
void sh_free(void *pBlock);
// The host mutex; only while the manager is initialised.
void sh_lock();
void sh_unlock();
bool sh_is_init();

// Argument i as an int32, unchecked (0 when it is none).
int32_t sh_arg(qo_object *argv, int i);
// Argument i as an int32 within [iLow, iHigh]; false when it is no int32 or
// out of range.
bool sh_arg_in(qo_object *argv, int i, int32_t iLow, int32_t iHigh, int32_t *piValue);
// Hands a result object to the host; false when it could not be made.
bool sh_answer(qo_object *out, qo_object pResult);
// A condition's answer: a boolean object, and bStatus unless the object
// could not be made.
bool sh_condition_answer(qo_object *out, bool bStatus, bool bOutcome);

// The last tick's home time in ms, as it came (0 before the first tick).
uint64_t sh_home_timestamp_ms();
// The same, held to the calendar's range (its last second past 2099).
uint64_t sh_home_now_ms();
SysRtc sh_home_time_at(uint64_t ullTimestamp);
SysRtc sh_home_now();

#endif // SH_SYS_FUNC_H
