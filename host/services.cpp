// SPDX-License-Identifier: MIT
#include "services.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace shhost {

namespace {

// Each block carries its size in front, so that frees can be counted too.
struct alignas(std::max_align_t) BlockHeader {
    size_t size;
};

constexpr int32_t ERR_BAD_EVENT = 0x22; // reported through errCode

} // namespace

Services &Services::get() {
    static Services services;
    return services;
}

void Services::bindTo(const PluginApi &api, const std::string &delayVar,
                      const std::string &secondVar) {
    api.setHal(hostMalloc, hostFree);
    api.setLogout(hostLog);
    api.setMutex(mutexCreate, mutexLock, mutexUnlock, mutexDestroy);
    api.setPostEvent(postEvent);
    api.setVarkeyDelay(delayVar.c_str());
    api.setVarkeyTimevalue(secondVar.c_str());
}

std::vector<PostedEvent> Services::takeEvents() {
    std::lock_guard lock(m_);
    std::vector<PostedEvent> out;
    out.swap(events_);
    return out;
}

MemoryReport Services::memory() const {
    std::lock_guard lock(m_);
    return {blocks_, bytes_, peakBlocks_, peakBytes_, allocations_};
}

void *Services::hostMalloc(size_t size) {
    if (size > SIZE_MAX - sizeof(BlockHeader))
        return nullptr;
    auto *header = static_cast<BlockHeader *>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr)
        return nullptr;
    header->size = size;
    Services &s = get();
    std::lock_guard lock(s.m_);
    ++s.allocations_;
    ++s.blocks_;
    s.bytes_ += size;
    if (s.blocks_ > s.peakBlocks_)
        s.peakBlocks_ = s.blocks_;
    if (s.bytes_ > s.peakBytes_)
        s.peakBytes_ = s.bytes_;
    return header + 1;
}

void Services::hostFree(void *block) {
    if (block == nullptr)
        return;
    BlockHeader *header = static_cast<BlockHeader *>(block) - 1;
    Services &s = get();
    {
        std::lock_guard lock(s.m_);
        --s.blocks_;
        s.bytes_ -= header->size;
    }
    std::free(header);
}

std::string Services::takeLastLog() {
    std::lock_guard lock(m_);
    std::string out;
    out.swap(lastLog_);
    return out;
}

void Services::hostLog(const char *line) {
    Services &s = get();
    std::lock_guard lock(s.m_);
    s.lastLog_ = line;
    if (s.log_ != nullptr) // null: the caller wants no log
        std::fprintf(s.log_, "                         plug-in log: %s\n", line);
}

bool Services::mutexCreate(void **mutex) {
    *mutex = new (std::nothrow) std::mutex;
    return *mutex != nullptr;
}

bool Services::mutexLock(void *mutex) {
    static_cast<std::mutex *>(mutex)->lock();
    return true;
}

bool Services::mutexUnlock(void *mutex) {
    static_cast<std::mutex *>(mutex)->unlock();
    return true;
}

bool Services::mutexDestroy(void **mutex) {
    delete static_cast<std::mutex *>(*mutex);
    *mutex = nullptr;
    return true;
}

// Copies the names and values out of the call and queues them for the VM;
// no script code runs here, under the plug-in's lock.
bool Services::postEvent(uint32_t vmId, const char **names, qo_object *values, int32_t count,
                         bool /*flag*/, int32_t *errCode) {
    if (names == nullptr || values == nullptr || count < 1) {
        *errCode = ERR_BAD_EVENT;
        return false;
    }
    Services &s = get();
    std::lock_guard lock(s.m_);
    for (int32_t i = 0; i < count; ++i) {
        bool ok = false;
        const int32_t value = qo_object_to_int32(values[i], &ok);
        if (names[i] == nullptr || !ok) {
            *errCode = ERR_BAD_EVENT;
            return false;
        }
        s.events_.push_back(PostedEvent{vmId, names[i], value});
    }
    return true;
}

} // namespace shhost
