// SPDX-License-Identifier: MIT
/*
 * qolib: script values and queues for kelvo plug-ins.
 *
 * Values are bool, int32 or string objects behind an opaque handle. A queue
 * is an ordered sequence of caller-owned item pointers kept in one contiguous
 * array, so that walking it touches memory in order.
 *
 * Memory: until qo_lib_init_hooks is called the library uses the C heap;
 * afterwards it uses the host's pair. Every block remembers the release
 * function it was made with, so objects and queues made before a change of
 * hooks stay releasable after it.
 *
 * Threads: objects and queues carry no lock; a queue must be used by one
 * thread at a time (the plug-in guards its queue with the host mutex).
 * Allocating and releasing objects is safe from any thread.
 */
#ifndef QOLIB_H
#define QOLIB_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#if defined(QOLIB_BUILDING)
#define QOLIB_API __declspec(dllexport)
#else
#define QOLIB_API __declspec(dllimport)
#endif
#else
#define QOLIB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct qo_object_s *qo_object;
typedef struct qo_queue_s *qo_queue;
typedef void *(*qo_malloc_fn)(size_t size);
typedef void (*qo_free_fn)(void *block);
/* Answers true when item matches key. */
typedef bool (*qo_find_visit_fn)(void *item, void *key);
/* Answers true when item is to be removed; it may create and free objects,
 * but must not touch the queue being walked. */
typedef bool (*qo_remove_visit_fn)(void *item, void *data1, void *data2);
/* Answers true to go on; false ends the walk. */
typedef bool (*qo_foreach_visit_fn)(void *item);
typedef void (*qo_release_fn)(void *item);

/* Sets the allocator pair; true when taken. Both null restores the C heap;
 * one null alone is refused. */
QOLIB_API bool qo_lib_init_hooks(qo_malloc_fn pfnMalloc, qo_free_fn pfnFree);

/* A new empty queue, or null when memory runs out. */
QOLIB_API qo_queue qo_queue_new(void);
/* Appends item; false (queue unchanged) when memory runs out or queue is null. */
QOLIB_API bool qo_queue_push_back(qo_queue queue, void *item);
/* The first item, in queue order, for which visit answers true; or null. */
QOLIB_API void *qo_queue_find_ex(qo_queue queue, void *key, qo_find_visit_fn visit);
/* Offers every item once to visit; each item answered true is unlinked and
 * handed to release (when not null) exactly once. Survivors keep their order.
 * Returns the number removed. Never allocates. */
QOLIB_API size_t qo_queue_remove_all(qo_queue queue, void *data1, void *data2,
                                     qo_remove_visit_fn visit, qo_release_fn release);
/* Offers every item in order until visit answers false. */
QOLIB_API void qo_queue_foreach(qo_queue queue, qo_foreach_visit_fn visit);
/* Releases the queue, never its items, and clears *queue. */
QOLIB_API void qo_queue_free(qo_queue *queue);

/* New values; null when memory runs out. */
QOLIB_API qo_object qo_object_new_bool(bool value);
QOLIB_API qo_object qo_object_new_int32(int32_t value);
/* An int32's value with *ok true; for anything else (null included) 0 with
 * *ok false. ok may be null. */
QOLIB_API int32_t qo_object_to_int32(qo_object object, bool *ok);
/* Releases *slot (when not null) and clears the slot. */
QOLIB_API void qo_object_free(qo_object *slot);

/* for hosts */
/* A copy of text as a string value; null for a null text or no memory. */
QOLIB_API qo_object qo_object_new_string(const char *text);
/* A bool's value with *ok true; for anything else false with *ok false. */
QOLIB_API bool qo_object_to_bool(qo_object object, bool *ok);
/* Number of items; 0 for a null queue. */
QOLIB_API size_t qo_queue_size(qo_queue queue);

#ifdef __cplusplus
}
#endif

#endif /* QOLIB_H */
