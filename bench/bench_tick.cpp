// SPDX-License-Identifier: MIT
// The tick and the delay operations with 1 .. 100 000 pending delays, each
// against a plain walk of the same records in a std::vector (the floor) and
// in a std::list (a node per item).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <list>
#include <vector>

#include "bench_host.h"
#include "ratio_main.h"
#include "sh-sys-func.h"

namespace {

constexpr uint64_t T0 = 1707523140000ULL; // 2024-02-09 23:59:00
constexpr int64_t DAY_MS = 86'400'000;
constexpr int32_t NEVER = 1'000'000'000; // seconds: a delay that outlives the run

std::atomic<long> gAllocations{0};
void *countingMalloc(size_t n) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(n);
}

std::vector<int32_t> gFired;
bool recordingPost(uint32_t vm, const char **, qo_object *values, int32_t, bool, int32_t *) {
    if (vm != 0)
        gFired.push_back(qo_object_to_int32(values[0], nullptr));
    return true;
}

bool delay(uint32_t vm, int32_t id, int32_t seconds) {
    qo_object a[2] = {qo_object_new_int32(id), qo_object_new_int32(seconds)};
    const bool ok = sh_delay(vm, a, 2, nullptr);
    qo_object_free(&a[0]);
    qo_object_free(&a[1]);
    return ok;
}

// The plug-in running with n pending delays of VM 1, ids 0 .. n-1. Building
// a queue walks it once per registration, so a queue of never-due delays is
// built once per size and shared by every shape that leaves it as it was.
enum class Shape { Never, Spread };
void load(int64_t n, Shape shape) {
    static int64_t loadedSize = -1;
    static Shape loadedShape = Shape::Never;
    if (shape == Shape::Never && loadedShape == Shape::Never && loadedSize == n) {
        sh_time_update(T0);
        return;
    }
    sh_func_manager_deinit();
    kbench::start(countingMalloc, recordingPost);
    sh_time_update(T0);
    for (int64_t i = 0; i < n; ++i) {
        // Spread: task i falls due on day i % 100 + 1, so each daily tick
        // fires 1% of the tasks the queue started with.
        const int32_t seconds =
            shape == Shape::Spread ? static_cast<int32_t>((i % 100 + 1) * 86400) : NEVER;
        if (!delay(1, static_cast<int32_t>(i), seconds))
            std::abort();
    }
    loadedSize = n;
    loadedShape = shape;
    gFired.clear();
}

void perTask(benchmark::State &state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// --------------------------------------------------------------- the tick

void BM_TickIdle(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    const long before = gAllocations.load();
    for (auto _ : state)
        sh_time_update(T0); // same second, nothing due: no walk
    state.counters["allocs/tick"] =
        benchmark::Counter(static_cast<double>(gAllocations.load() - before) /
                           static_cast<double>(state.iterations()));
    perTask(state);
}

void BM_TickSecond(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    uint64_t now = T0;
    for (auto _ : state)
        sh_time_update(now += 1000); // posts the second of day, then walks
    perTask(state);
}

// The clock moves forward 1 ms a tick, stepping back to the start of the
// second every 1000 ticks so that no second-of-day event is posted: the
// delays' clock advances and nothing is due. Without a walk of the queue
// this costs the same at any number pending.
void BM_TickNothingDue(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    const long before = gAllocations.load();
    uint64_t i = 0;
    for (auto _ : state)
        sh_time_update(T0 + i++ % 1000);
    state.counters["allocs/tick"] =
        benchmark::Counter(static_cast<double>(gAllocations.load() - before) /
                           static_cast<double>(state.iterations()));
    if (!gFired.empty())
        state.SkipWithError("a delay fired");
}

// Fifty daily ticks that each fire 1% of the tasks the queue started with;
// the queue shrinks from n to n/2 over the run, 0.755 n pending on average.
constexpr int FIRE_TICKS = 50;
void BM_TickFire1pct(benchmark::State &state) {
    load(state.range(0), Shape::Spread);
    uint64_t now = T0;
    for (auto _ : state)
        sh_time_update(now += DAY_MS); // same second of day: only delay events
    if (gFired.size() != static_cast<size_t>(state.range(0) / 100 * FIRE_TICKS))
        state.SkipWithError("did not fire 1% a tick");
    const double meanPending =
        static_cast<double>(state.range(0)) * (1.0 - 0.01 * (FIRE_TICKS - 1) / 2.0);
    state.counters["pending"] = meanPending;
    state.SetItemsProcessed(
        static_cast<int64_t>(meanPending * static_cast<double>(state.iterations())));
}

// --------------------------------------------------------------- delay operations

void BM_DelayDuplicate(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    const auto last = static_cast<int32_t>(state.range(0) - 1);
    for (auto _ : state)
        delay(1, last, 5); // found at the end of the walk: nothing changes
    perTask(state);
}

void BM_DelayRegisterCancel(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    qo_object id = qo_object_new_int32(-1);
    for (auto _ : state) {
        delay(1, -1, NEVER);
        sh_cancel_delay(1, &id, 1, nullptr);
    }
    qo_object_free(&id);
    perTask(state);
}

void BM_CancelMissing(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    qo_object id = qo_object_new_int32(-1);
    for (auto _ : state)
        sh_cancel_delay(1, &id, 1, nullptr);
    qo_object_free(&id);
    perTask(state);
}

void BM_DropIdleVm(benchmark::State &state) {
    load(state.range(0), Shape::Never);
    for (auto _ : state)
        sh_func_manager_delay_task_delete(2);
    perTask(state);
}

// --------------------------------------------------------------- baselines

// The same records, allocated one by one as the plug-in does.
std::vector<DelayTaskData *> makeRecords(int64_t n) {
    std::vector<DelayTaskData *> v;
    for (int64_t i = 0; i < n; ++i) {
        auto *r = static_cast<DelayTaskData *>(std::calloc(1, sizeof(DelayTaskData)));
        *r = DelayTaskData{T0, uint64_t{NEVER} * 1000, static_cast<int32_t>(i), 1};
        v.push_back(r);
    }
    return v;
}

inline bool expired(const DelayTaskData *r, uint64_t now) {
    return now - r->ullStartTime >= r->ullDelayMs;
}

// The expiry test behind a pointer, as a queue visitor is called.
__attribute__((noinline)) bool expiredVisit(void *item, void *now, void *) {
    return expired(static_cast<const DelayTaskData *>(item), *static_cast<const uint64_t *>(now));
}
bool (*volatile gExpiredVisit)(void *, void *, void *) = expiredVisit;

// Walks a vector of n records with `due`, the expiry test of each.
template <typename Due> void vectorWalk(benchmark::State &state, Due due) {
    auto records = makeRecords(state.range(0));
    uint64_t now = T0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(now);
        size_t n = 0;
        for (DelayTaskData *r : records)
            n += due(r, now);
        benchmark::DoNotOptimize(n);
    }
    for (auto *r : records)
        std::free(r);
    perTask(state);
}

// The floor: each record offered to the expiry test through a pointer.
void BM_VectorWalk(benchmark::State &state) {
    auto *visit = gExpiredVisit;
    vectorWalk(state, [visit](DelayTaskData *r, uint64_t &now) { return visit(r, &now, nullptr); });
}

// Below the floor: the test inlined, the cost of reading the records alone.
void BM_VectorWalkInline(benchmark::State &state) {
    vectorWalk(state, [](const DelayTaskData *r, uint64_t now) { return expired(r, now); });
}

void BM_ListWalk(benchmark::State &state) {
    auto records = makeRecords(state.range(0));
    std::list<DelayTaskData *> list(records.begin(), records.end());
    uint64_t now = T0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(now);
        // the same work as a tick: remove the expired, keep the rest
        list.remove_if([now](const DelayTaskData *r) { return expired(r, now); });
    }
    for (auto *r : records)
        std::free(r);
    perTask(state);
}

void BM_ListRegisterCancel(benchmark::State &state) {
    auto records = makeRecords(state.range(0));
    std::list<DelayTaskData *> list(records.begin(), records.end());
    for (auto _ : state) {
        // find a duplicate, append a new record, then remove it by id
        auto found = std::find_if(list.begin(), list.end(), [](const DelayTaskData *r) {
            return r->iDelayId == -1 && r->iVmId == 1;
        });
        benchmark::DoNotOptimize(found);
        auto *r = static_cast<DelayTaskData *>(std::calloc(1, sizeof(DelayTaskData)));
        *r = DelayTaskData{T0, uint64_t{NEVER} * 1000, -1, 1};
        list.push_back(r);
        list.remove_if([](const DelayTaskData *x) {
            if (x->iDelayId != -1 || x->iVmId != 1)
                return false;
            std::free(const_cast<DelayTaskData *>(x));
            return true;
        });
    }
    for (auto *r : records)
        std::free(r);
    perTask(state);
}

// Grouped by size, so that the shared queue is built once per size.
void registerAll() {
    for (int64_t n : {1, 100, 1000, 10000, 100000}) {
        benchmark::RegisterBenchmark("BM_TickIdle", BM_TickIdle)->Arg(n);
        benchmark::RegisterBenchmark("BM_TickSecond", BM_TickSecond)->Arg(n);
        if (n != 1000)
            benchmark::RegisterBenchmark("BM_TickNothingDue", BM_TickNothingDue)->Arg(n);
        benchmark::RegisterBenchmark("BM_DelayDuplicate", BM_DelayDuplicate)->Arg(n);
        benchmark::RegisterBenchmark("BM_DelayRegisterCancel", BM_DelayRegisterCancel)->Arg(n);
        benchmark::RegisterBenchmark("BM_CancelMissing", BM_CancelMissing)->Arg(n);
        benchmark::RegisterBenchmark("BM_DropIdleVm", BM_DropIdleVm)->Arg(n);
        if (n >= 100)
            benchmark::RegisterBenchmark("BM_TickFire1pct", BM_TickFire1pct)
                ->Arg(n)
                ->Iterations(FIRE_TICKS);
        benchmark::RegisterBenchmark("BM_VectorWalk", BM_VectorWalk)->Arg(n);
        benchmark::RegisterBenchmark("BM_VectorWalkInline", BM_VectorWalkInline)->Arg(n);
        benchmark::RegisterBenchmark("BM_ListWalk", BM_ListWalk)->Arg(n);
        benchmark::RegisterBenchmark("BM_ListRegisterCancel", BM_ListRegisterCancel)->Arg(n);
    }
}
const bool gRegistered = (registerAll(), true);

} // namespace

KBENCH_MAIN({"BM_TickNothingDue", "BM_TickNothingDue/1"}, {"BM_TickIdle", "BM_VectorWalk"},
            {"BM_TickIdle", "BM_VectorWalkInline"}, {"BM_TickIdle", "BM_ListWalk"},
            {"BM_TickSecond", "BM_VectorWalk"}, {"BM_TickFire1pct", "BM_VectorWalk"},
            {"BM_TickFire1pct", "BM_ListWalk"}, {"BM_DelayDuplicate", "BM_VectorWalk"},
            {"BM_CancelMissing", "BM_VectorWalk"}, {"BM_CancelMissing", "BM_ListWalk"},
            {"BM_DropIdleVm", "BM_VectorWalk"}, {"BM_DelayRegisterCancel", "BM_ListRegisterCancel"})
