// SPDX-License-Identifier: MIT
// The stand-in object and queue library on its own.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <numeric>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "qolib.h"

namespace {

// A counting allocator pair for the hooks.
long gLive = 0;
long gFailAt = 0; // fail the n-th allocation from the last arm, 0 = never
long gCount = 0;
void *countingMalloc(size_t size) {
    if (gFailAt != 0 && ++gCount == gFailAt)
        return nullptr;
    ++gLive;
    return std::malloc(size);
}
void countingFree(void *p) {
    --gLive;
    std::free(p);
}

class Qolib : public ::testing::Test {
  protected:
    void SetUp() override {
        gLive = gCount = gFailAt = 0;
        ASSERT_TRUE(qo_lib_init_hooks(countingMalloc, countingFree));
    }
    void TearDown() override {
        EXPECT_EQ(gLive, 0);
        qo_lib_init_hooks(nullptr, nullptr);
    }
};

TEST_F(Qolib, ValuesConvertOnlyToTheirOwnKind) {
    qo_object i = qo_object_new_int32(-42);
    qo_object b = qo_object_new_bool(true);
    qo_object s = qo_object_new_string("hello");
    bool ok = true;
    EXPECT_EQ(qo_object_to_int32(i, &ok), -42);
    EXPECT_TRUE(ok);
    EXPECT_EQ(qo_object_to_int32(b, &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(qo_object_to_int32(s, &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(qo_object_to_int32(nullptr, &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(qo_object_to_int32(i, nullptr), -42);
    EXPECT_TRUE(qo_object_to_bool(b, &ok));
    EXPECT_TRUE(ok);
    EXPECT_FALSE(qo_object_to_bool(i, &ok));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(qo_object_to_bool(nullptr, nullptr));
    EXPECT_EQ(qo_object_new_string(nullptr), nullptr);
    EXPECT_EQ(gLive, 3);
    qo_object_free(&i);
    qo_object_free(&b);
    qo_object_free(&s);
    EXPECT_EQ(i, nullptr) << "free clears the slot";
    qo_object_free(&i); // a cleared slot is harmless
    qo_object_free(nullptr);
}

TEST_F(Qolib, BlocksRememberTheirAllocator) {
    qo_lib_init_hooks(nullptr, nullptr);
    qo_object heapObject = qo_object_new_int32(1);
    qo_queue heapQueue = qo_queue_new();
    ASSERT_TRUE(qo_queue_push_back(heapQueue, &heapObject));
    ASSERT_TRUE(qo_lib_init_hooks(countingMalloc, countingFree));
    qo_object hookedObject = qo_object_new_int32(2);
    for (int i = 0; i < 40; ++i) // grows the array with the new hooks
        ASSERT_TRUE(qo_queue_push_back(heapQueue, nullptr));
    EXPECT_EQ(gLive, 2) << "the new object and the grown array";
    qo_object_free(&heapObject); // back to the C heap, not to countingFree
    EXPECT_EQ(gLive, 2);
    qo_queue_free(&heapQueue);
    EXPECT_EQ(gLive, 1) << "the grown array went back through the hooks";
    EXPECT_EQ(heapQueue, nullptr);
    qo_object_free(&hookedObject);
}

TEST_F(Qolib, HalfAPairIsRefused) {
    EXPECT_FALSE(qo_lib_init_hooks(countingMalloc, nullptr));
    EXPECT_FALSE(qo_lib_init_hooks(nullptr, countingFree));
    qo_object o = qo_object_new_bool(false);
    EXPECT_EQ(gLive, 1) << "the previous pair stays in use";
    qo_object_free(&o);
}

TEST_F(Qolib, AllocationFailuresAreReported) {
    gFailAt = 1;
    EXPECT_EQ(qo_object_new_int32(1), nullptr);
    gCount = 0;
    EXPECT_EQ(qo_queue_new(), nullptr);
    gCount = 0;
    gFailAt = 0;
    qo_queue q = qo_queue_new();
    gFailAt = 1;
    int item = 0;
    EXPECT_FALSE(qo_queue_push_back(q, &item));
    EXPECT_EQ(qo_queue_size(q), 0u);
    gFailAt = 0;
    EXPECT_TRUE(qo_queue_push_back(q, &item));
    qo_queue_free(&q);
}

TEST_F(Qolib, NullQueuesAreHarmless) {
    EXPECT_FALSE(qo_queue_push_back(nullptr, nullptr));
    EXPECT_EQ(qo_queue_find_ex(nullptr, nullptr, [](void *, void *) { return true; }), nullptr);
    EXPECT_EQ(qo_queue_remove_all(
                  nullptr, nullptr, nullptr, [](void *, void *, void *) { return true; }, nullptr),
              0u);
    qo_queue_foreach(nullptr, [](void *) { return true; });
    qo_queue_free(nullptr);
    qo_queue q = nullptr;
    qo_queue_free(&q);
    EXPECT_EQ(qo_queue_size(nullptr), 0u);
}

// Removes values v with v % data1 == data2.
bool matchesResidue(void *item, void *modulus, void *residue) {
    const auto m = reinterpret_cast<intptr_t>(modulus);
    return *static_cast<int *>(item) % m == reinterpret_cast<intptr_t>(residue);
}
std::vector<int *> gReleased;
void recordRelease(void *item) {
    gReleased.push_back(static_cast<int *>(item));
}
std::vector<int> contents(qo_queue q) {
    static std::vector<int> seen;
    seen.clear();
    qo_queue_foreach(q, [](void *item) {
        seen.push_back(*static_cast<int *>(item));
        return true;
    });
    return seen;
}

// Against std::list as a model: random pushes and removals keep the same
// order, and every removed item is released exactly once.
TEST_F(Qolib, RemoveAllMatchesAListModel) {
    std::vector<int> storage(5000);
    std::iota(storage.begin(), storage.end(), 0);
    std::mt19937 rng(7);
    qo_queue q = qo_queue_new();
    std::list<int> model;
    size_t next = 0;
    gReleased.clear();
    size_t releasedExpected = 0;
    for (int round = 0; round < 300; ++round) {
        const size_t pushes = rng() % 40;
        for (size_t i = 0; i < pushes && next < storage.size(); ++i, ++next) {
            ASSERT_TRUE(qo_queue_push_back(q, &storage[next]));
            model.push_back(storage[next]);
        }
        const intptr_t m = 2 + rng() % 5;
        const intptr_t r = static_cast<intptr_t>(rng()) % m;
        const size_t before = model.size();
        model.remove_if([&](int v) { return v % m == r; });
        releasedExpected += before - model.size();
        ASSERT_EQ(qo_queue_remove_all(q, reinterpret_cast<void *>(m), reinterpret_cast<void *>(r),
                                      matchesResidue, recordRelease),
                  before - model.size());
        ASSERT_EQ(contents(q), std::vector<int>(model.begin(), model.end()));
        ASSERT_EQ(qo_queue_size(q), model.size());
    }
    std::vector<int *> sorted = gReleased;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "released twice";
    EXPECT_EQ(gReleased.size(), releasedExpected);
    qo_queue_free(&q);
}

TEST_F(Qolib, VisitorsMayUseObjectsDuringAWalk) {
    qo_queue q = qo_queue_new();
    int items[3] = {1, 2, 3};
    for (int &i : items)
        qo_queue_push_back(q, &i);
    const size_t removed = qo_queue_remove_all(
        q, nullptr, nullptr,
        [](void *item, void *, void *) {
            qo_object o = qo_object_new_int32(*static_cast<int *>(item));
            const bool odd = qo_object_to_int32(o, nullptr) % 2 != 0;
            qo_object_free(&o);
            return odd;
        },
        nullptr);
    EXPECT_EQ(removed, 2u);
    EXPECT_EQ(contents(q), std::vector<int>{2});
    qo_queue_free(&q);
}

TEST_F(Qolib, FindReturnsTheFirstMatchAndForeachStopsOnFalse) {
    qo_queue q = qo_queue_new();
    int items[4] = {5, 6, 7, 6};
    for (int &i : items)
        qo_queue_push_back(q, &i);
    int key = 6;
    void *found = qo_queue_find_ex(q, &key, [](void *item, void *k) {
        return *static_cast<int *>(item) == *static_cast<int *>(k);
    });
    EXPECT_EQ(found, &items[1]);
    key = 9;
    EXPECT_EQ(qo_queue_find_ex(q, &key,
                               [](void *item, void *k) {
                                   return *static_cast<int *>(item) == *static_cast<int *>(k);
                               }),
              nullptr);
    static int visited;
    visited = 0;
    qo_queue_foreach(q, [](void *item) {
        ++visited;
        return *static_cast<int *>(item) != 6;
    });
    EXPECT_EQ(visited, 2);
    EXPECT_EQ(qo_queue_size(q), 4u) << "nothing is removed by a walk";
    qo_queue_free(&q);
}

} // namespace
