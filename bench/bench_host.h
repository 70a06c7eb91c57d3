// SPDX-License-Identifier: MIT
// The lightest honest host for benchmarks: the C heap, a std::mutex and an
// event sink that reads the value and drops it.
#pragma once

#include <cstdlib>
#include <mutex>

#include "kelvo_sh_sys.h"

namespace kbench {

inline bool mutexCreate(void **m) {
    *m = new std::mutex;
    return true;
}
inline bool mutexLock(void *m) {
    static_cast<std::mutex *>(m)->lock();
    return true;
}
inline bool mutexUnlock(void *m) {
    static_cast<std::mutex *>(m)->unlock();
    return true;
}
inline bool mutexDestroy(void **m) {
    delete static_cast<std::mutex *>(*m);
    return true;
}
inline long gEvents = 0;
inline bool post(uint32_t, const char **, qo_object *values, int32_t, bool, int32_t *) {
    gEvents += qo_object_to_int32(values[0], nullptr) >= 0;
    return true;
}

// Hands the services and names to the plug-in and starts it.
inline void start(ShMallocFn pfnMalloc = std::malloc, ShPostEventFn pfnPost = post) {
    sh_callback_set_hal(pfnMalloc, std::free);
    sh_callback_set_mutex(mutexCreate, mutexLock, mutexUnlock, mutexDestroy);
    sh_callback_set_postevent(pfnPost);
    sh_set_varkey_delay("DelayId");
    sh_set_varkey_timevalue("SecondOfDay");
    if (!sh_func_manager_init())
        std::abort();
}

// Starts the plug-in for the life of the guard.
struct PluginGuard {
    PluginGuard() { start(); }
    ~PluginGuard() { sh_func_manager_deinit(); }
};

} // namespace kbench
