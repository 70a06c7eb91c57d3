// SPDX-License-Identifier: MIT
// qolib stand-in: values and contiguous queues over a replaceable allocator.
#include "qolib.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

// An allocator pair. Pairs are interned and never freed, so that a reader
// that loaded the current pair keeps a valid one whatever a concurrent
// qo_lib_init_hooks does, and every block can name the free that matches
// the malloc it came from.
struct Hooks {
    qo_malloc_fn pfnMalloc;
    qo_free_fn pfnFree;
    Hooks *pNext;
};

Hooks gHeapHooks{std::malloc, std::free, nullptr};
std::atomic<Hooks *> gCurrentHooks{&gHeapHooks};
// Guards the interned list only. mingw-w64's win32 thread model has no
// std::mutex, so Windows gets its own slim lock, which needs no setup.
#if defined(_WIN32)
class HooksMutex {
  public:
    void lock() { AcquireSRWLockExclusive(&stLock_); }
    void unlock() { ReleaseSRWLockExclusive(&stLock_); }

  private:
    SRWLOCK stLock_ = SRWLOCK_INIT;
};
#else
using HooksMutex = std::mutex;
#endif
HooksMutex gHooksMutex;
Hooks *gpInternedHooks = &gHeapHooks;

Hooks *intern_hooks(qo_malloc_fn pfnMalloc, qo_free_fn pfnFree) {
    const std::lock_guard<HooksMutex> lock(gHooksMutex);
    for (Hooks *p = gpInternedHooks; p != nullptr; p = p->pNext) {
        if (p->pfnMalloc == pfnMalloc && p->pfnFree == pfnFree)
            return p;
    }
    auto *p = static_cast<Hooks *>(std::malloc(sizeof(Hooks)));
    if (p == nullptr)
        return nullptr;
    *p = Hooks{pfnMalloc, pfnFree, gpInternedHooks};
    gpInternedHooks = p;
    return p;
}

// Every block the library hands out starts with the free that releases it.
struct BlockHeader {
    qo_free_fn pfnFree;
};

void *block_alloc(size_t size, qo_free_fn *pfnFreeOut) {
    const Hooks *pHooks = gCurrentHooks.load(std::memory_order_acquire);
    void *p = pHooks->pfnMalloc(size);
    *pfnFreeOut = pHooks->pfnFree;
    return p;
}

enum class Kind : uint8_t { Bool, Int32, String };

} // namespace

struct qo_object_s {
    BlockHeader stHeader;
    Kind eKind;
    union {
        bool bValue;
        int32_t iValue;
    };
    // a string's text follows the record in the same block

    char *text() { return reinterpret_cast<char *>(this + 1); }
};

struct qo_queue_s {
    BlockHeader stHeader;
    void **ppItems;          // contiguous, in queue order
    qo_free_fn pfnItemsFree; // the items array may come from other hooks
    size_t nSize;
    size_t nCapacity;
};

namespace {

qo_object object_new(Kind eKind, size_t nExtra) {
    qo_free_fn pfnFree = nullptr;
    void *p = block_alloc(sizeof(qo_object_s) + nExtra, &pfnFree);
    if (p == nullptr)
        return nullptr;
    auto *pObject = new (p) qo_object_s;
    pObject->stHeader.pfnFree = pfnFree;
    pObject->eKind = eKind;
    pObject->iValue = 0;
    return pObject;
}

bool queue_grow(qo_queue queue) {
    const size_t nOld = queue->nCapacity;
    const size_t nNew = nOld == 0 ? 16 : nOld * 2;
    if (nNew > SIZE_MAX / sizeof(void *))
        return false;
    qo_free_fn pfnFree = nullptr;
    auto **ppItems = static_cast<void **>(block_alloc(nNew * sizeof(void *), &pfnFree));
    if (ppItems == nullptr)
        return false;
    if (queue->nSize != 0)
        std::memcpy(ppItems, queue->ppItems, queue->nSize * sizeof(void *));
    if (queue->ppItems != nullptr)
        queue->pfnItemsFree(queue->ppItems);
    queue->ppItems = ppItems;
    queue->pfnItemsFree = pfnFree;
    queue->nCapacity = nNew;
    return true;
}

} // namespace

extern "C" {

bool qo_lib_init_hooks(qo_malloc_fn pfnMalloc, qo_free_fn pfnFree) {
    if (pfnMalloc == nullptr && pfnFree == nullptr) {
        gCurrentHooks.store(&gHeapHooks, std::memory_order_release);
        return true;
    }
    if (pfnMalloc == nullptr || pfnFree == nullptr)
        return false;
    Hooks *pHooks = intern_hooks(pfnMalloc, pfnFree);
    if (pHooks == nullptr)
        return false;
    gCurrentHooks.store(pHooks, std::memory_order_release);
    return true;
}

qo_queue qo_queue_new(void) {
    qo_free_fn pfnFree = nullptr;
    void *p = block_alloc(sizeof(qo_queue_s), &pfnFree);
    if (p == nullptr)
        return nullptr;
    return new (p) qo_queue_s{{pfnFree}, nullptr, nullptr, 0, 0};
}

bool qo_queue_push_back(qo_queue queue, void *item) {
    if (queue == nullptr)
        return false;
    if (queue->nSize == queue->nCapacity && !queue_grow(queue))
        return false;
    queue->ppItems[queue->nSize++] = item;
    return true;
}

void *qo_queue_find_ex(qo_queue queue, void *key, qo_find_visit_fn visit) {
    if (queue == nullptr || visit == nullptr)
        return nullptr;
    for (size_t i = 0; i < queue->nSize; ++i) {
        if (visit(queue->ppItems[i], key))
            return queue->ppItems[i];
    }
    return nullptr;
}

size_t qo_queue_remove_all(qo_queue queue, void *data1, void *data2, qo_remove_visit_fn visit,
                           qo_release_fn release) {
    if (queue == nullptr || visit == nullptr)
        return 0;
    void **ppItems = queue->ppItems;
    const size_t nSize = queue->nSize;
    // Most walks remove nothing: write nothing until the first removal.
    size_t i = 0;
    while (i < nSize && !visit(ppItems[i], data1, data2))
        ++i;
    if (i == nSize)
        return 0;
    // Stable compaction in place: survivors slide down over removed slots.
    size_t nKept = i;
    if (release != nullptr)
        release(ppItems[i]);
    for (++i; i < nSize; ++i) {
        void *item = ppItems[i];
        if (!visit(item, data1, data2)) {
            ppItems[nKept++] = item;
            continue;
        }
        if (release != nullptr)
            release(item);
    }
    queue->nSize = nKept;
    return nSize - nKept;
}

void qo_queue_foreach(qo_queue queue, qo_foreach_visit_fn visit) {
    if (queue == nullptr || visit == nullptr)
        return;
    for (size_t i = 0; i < queue->nSize; ++i) {
        if (!visit(queue->ppItems[i]))
            return;
    }
}

void qo_queue_free(qo_queue *queue) {
    if (queue == nullptr || *queue == nullptr)
        return;
    qo_queue q = *queue;
    *queue = nullptr;
    if (q->ppItems != nullptr)
        q->pfnItemsFree(q->ppItems);
    q->stHeader.pfnFree(q);
}

size_t qo_queue_size(qo_queue queue) {
    return queue == nullptr ? 0 : queue->nSize;
}

qo_object qo_object_new_bool(bool value) {
    qo_object pObject = object_new(Kind::Bool, 0);
    if (pObject != nullptr)
        pObject->bValue = value;
    return pObject;
}

qo_object qo_object_new_int32(int32_t value) {
    qo_object pObject = object_new(Kind::Int32, 0);
    if (pObject != nullptr)
        pObject->iValue = value;
    return pObject;
}

qo_object qo_object_new_string(const char *text) {
    if (text == nullptr)
        return nullptr;
    const size_t nLength = std::strlen(text);
    if (nLength > SIZE_MAX - sizeof(qo_object_s) - 1)
        return nullptr;
    qo_object pObject = object_new(Kind::String, nLength + 1);
    if (pObject != nullptr)
        std::memcpy(pObject->text(), text, nLength + 1);
    return pObject;
}

int32_t qo_object_to_int32(qo_object object, bool *ok) {
    const bool bIsInt = object != nullptr && object->eKind == Kind::Int32;
    if (ok != nullptr)
        *ok = bIsInt;
    return bIsInt ? object->iValue : 0;
}

bool qo_object_to_bool(qo_object object, bool *ok) {
    const bool bIsBool = object != nullptr && object->eKind == Kind::Bool;
    if (ok != nullptr)
        *ok = bIsBool;
    return bIsBool && object->bValue;
}

void qo_object_free(qo_object *slot) {
    if (slot == nullptr || *slot == nullptr)
        return;
    qo_object pObject = *slot;
    *slot = nullptr;
    pObject->stHeader.pfnFree(pObject);
}

} // extern "C"
