// SPDX-License-Identifier: MIT
// The host's mutex callbacks for the fuzz targets: a std::mutex each.
#pragma once

#include <mutex>

namespace kfuzz {

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

} // namespace kfuzz
