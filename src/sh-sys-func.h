// SPDX-License-Identifier: MIT
// Records of the plug-in core: the host's callback table and a pending delay.
#ifndef SH_SYS_FUNC_H
#define SH_SYS_FUNC_H

#include <cstdint>

#include "kelvo_sh_sys.h"

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

#endif // SH_SYS_FUNC_H
