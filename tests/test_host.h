// SPDX-License-Identifier: MIT
// A host for the tests: counting allocator that can fail on demand, log
// capture, a checked mutex and an event recorder, all bound to the plug-in
// through its public header.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kelvo_sh_sys.h"

namespace testhost {

struct Event {
    uint32_t vm;
    std::string name;
    int32_t value;
    bool operator==(const Event &) const = default;
};

class Host {
  public:
    static Host &get();

    // Forgets everything recorded; live blocks must be none.
    void reset();
    // Hands all eight callbacks and the two names to the plug-in.
    void bind(const char *delayKey = "DelayId", const char *secondKey = "SecondOfDay");

    // Allocator
    void failAllocation(long n);      // fail the n-th allocation from now; 0 = never
    void failAllocationsFrom(long n); // fail the n-th from now and all after it
    long allocations() const;
    size_t liveBlocks() const;
    long badFrees() const;

    // Event delivery
    void failPost(long n); // fail the n-th post from now; 0 = never
    void setPostResult(bool ok, int32_t errCode = 0) {
        postOk_ = ok;
        postErr_ = errCode;
    }
    std::vector<Event> events() const;
    std::vector<Event> delayEvents() const; // vm != 0
    std::vector<int32_t> secondEvents() const;
    // Called for every delivered event, on the posting thread, under the
    // plug-in's mutex.
    void onEvent(std::function<void(const Event &)> hook) { onEvent_ = std::move(hook); }
    // Called for every host block before it is released, with its size, on
    // the freeing thread; serialised with onEvent.
    void onFree(std::function<void(const void *, size_t)> hook) { onFree_ = std::move(hook); }
    void clearEvents(); // also zeroes the post count and disarms failPost
    long posts() const;

    std::vector<std::string> logs() const;
    // The callbacks in order: "log:..", "lock", "unlock", "free", "destroy",
    // "create", "malloc".
    std::vector<std::string> trace() const;
    void clearTrace();
    void traceAllocations(bool on) { traceAlloc_ = on; }

    // Locks of the host mutex held by this thread right now.
    static int heldByThisThread();
    long mutexesAlive() const;
    long mutexErrors() const;

    // Raw callbacks, for tests that bind some of them themselves.
    static void *cbMalloc(size_t size);
    static void cbFree(void *block);
    static void cbLog(const char *line);
    static bool cbMutexCreate(void **mutex);
    static bool cbMutexLock(void *mutex);
    static bool cbMutexUnlock(void *mutex);
    static bool cbMutexDestroy(void **mutex);
    static bool cbPost(uint32_t vmId, const char **names, qo_object *values, int32_t count,
                       bool flag, int32_t *errCode);

  private:
    void note(std::string entry);

    mutable std::mutex m_;
    std::unordered_map<void *, size_t> live_;
    long allocCount_ = 0;
    long failAt_ = 0;
    long failFrom_ = 0;
    long badFrees_ = 0;
    bool traceAlloc_ = false;
    std::vector<std::string> logs_;
    std::vector<std::string> trace_;
    std::vector<Event> events_;
    long postCount_ = 0;
    long failPostAt_ = 0;
    bool postOk_ = true;
    int32_t postErr_ = 0;
    std::function<void(const Event &)> onEvent_;
    std::function<void(const void *, size_t)> onFree_;
    long mutexesAlive_ = 0;
    long mutexErrors_ = 0;
};

// Script arguments built with qolib; released with the holder.
class Args {
  public:
    Args() = default;
    Args(std::initializer_list<int32_t> values);
    ~Args();
    Args(const Args &) = delete;
    Args &operator=(const Args &) = delete;
    void addInt(int32_t v);
    void addBool(bool v);
    void addString(const char *s);
    void addNull();
    qo_object *argv() { return objects_.data(); }
    // Every argument object was made (the host's allocator may fail).
    bool complete() const;
    int32_t argc() const { return static_cast<int32_t>(objects_.size()); }

  private:
    std::vector<qo_object> objects_;
};

// A native's answer: its status and whatever landed in the out slot.
struct Answer {
    bool status;
    bool hasValue;
    bool boolValue;
    int32_t intValue;
};
using Native = bool (*)(uint32_t, qo_object *, int32_t, qo_object *);
Answer call(Native native, uint32_t vm, Args &args);
Answer call(Native native, uint32_t vm, std::initializer_list<int32_t> values);

// Milliseconds of home time for a civil date and time.
uint64_t homeMs(int y, unsigned mo, unsigned d, int h = 0, int mi = 0, int s = 0, int ms = 0);

// Every test starts with a bound, initialised plug-in at timestamp start and
// ends with deinit and no live host block.
class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    Host &host = Host::get();
    bool delay(uint32_t vm, int32_t id, int32_t seconds);
    bool cancel(uint32_t vm, int32_t id);
    bool tick(uint64_t ms);
    // Calls each native once for VM 1: each answers true and makes exactly
    // one value, and nothing but frees reaches the host (no lock, no log).
    void expectOneValueNoLockNoLog(std::initializer_list<std::pair<Native, Args *>> calls);
};

} // namespace testhost
