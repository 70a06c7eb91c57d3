// SPDX-License-Identifier: MIT
#include "test_host.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace testhost {

namespace {

thread_local int tlHeld = 0;

struct CheckedMutex {
    std::mutex m;
    std::thread::id owner;
};

} // namespace

Host &Host::get() {
    static Host host;
    return host;
}

void Host::note(std::string entry) {
    std::lock_guard lock(m_);
    trace_.push_back(std::move(entry));
}

void Host::reset() {
    std::lock_guard lock(m_);
    allocCount_ = failAt_ = failFrom_ = badFrees_ = 0;
    traceAlloc_ = false;
    logs_.clear();
    trace_.clear();
    events_.clear();
    postCount_ = failPostAt_ = 0;
    postOk_ = true;
    postErr_ = 0;
    mutexErrors_ = 0;
    onEvent_ = nullptr;
    onFree_ = nullptr;
}

void Host::bind(const char *delayKey, const char *secondKey) {
    sh_callback_set_hal(cbMalloc, cbFree);
    sh_callback_set_logout(cbLog);
    sh_callback_set_mutex(cbMutexCreate, cbMutexLock, cbMutexUnlock, cbMutexDestroy);
    sh_callback_set_postevent(cbPost);
    sh_set_varkey_delay(delayKey);
    sh_set_varkey_timevalue(secondKey);
}

void Host::failAllocation(long n) {
    std::lock_guard lock(m_);
    failAt_ = n == 0 ? 0 : allocCount_ + n;
}
void Host::failAllocationsFrom(long n) {
    std::lock_guard lock(m_);
    failFrom_ = n == 0 ? 0 : allocCount_ + n;
}
void Host::failPost(long n) {
    std::lock_guard lock(m_);
    failPostAt_ = n == 0 ? 0 : postCount_ + n;
}

long Host::allocations() const {
    std::lock_guard lock(m_);
    return allocCount_;
}
size_t Host::liveBlocks() const {
    std::lock_guard lock(m_);
    return live_.size();
}
long Host::badFrees() const {
    std::lock_guard lock(m_);
    return badFrees_;
}
std::vector<Event> Host::events() const {
    std::lock_guard lock(m_);
    return events_;
}
std::vector<Event> Host::delayEvents() const {
    std::vector<Event> out;
    for (const Event &e : events())
        if (e.vm != 0)
            out.push_back(e);
    return out;
}
std::vector<int32_t> Host::secondEvents() const {
    std::vector<int32_t> out;
    for (const Event &e : events())
        if (e.vm == 0)
            out.push_back(e.value);
    return out;
}
void Host::clearEvents() {
    std::lock_guard lock(m_);
    events_.clear();
    postCount_ = failPostAt_ = 0;
}
long Host::posts() const {
    std::lock_guard lock(m_);
    return postCount_;
}
std::vector<std::string> Host::logs() const {
    std::lock_guard lock(m_);
    return logs_;
}
std::vector<std::string> Host::trace() const {
    std::lock_guard lock(m_);
    return trace_;
}
void Host::clearTrace() {
    std::lock_guard lock(m_);
    trace_.clear();
}
int Host::heldByThisThread() {
    return tlHeld;
}
long Host::mutexesAlive() const {
    std::lock_guard lock(m_);
    return mutexesAlive_;
}
long Host::mutexErrors() const {
    std::lock_guard lock(m_);
    return mutexErrors_;
}

void *Host::cbMalloc(size_t size) {
    Host &h = get();
    std::lock_guard lock(h.m_);
    ++h.allocCount_;
    if (h.failAt_ != 0 && h.allocCount_ == h.failAt_)
        return nullptr;
    if (h.failFrom_ != 0 && h.allocCount_ >= h.failFrom_)
        return nullptr;
    void *p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr)
        h.live_[p] = size;
    if (h.traceAlloc_)
        h.trace_.push_back("malloc");
    return p;
}

void Host::cbFree(void *block) {
    Host &h = get();
    {
        std::lock_guard lock(h.m_);
        const auto it = h.live_.find(block);
        if (it == h.live_.end()) {
            ++h.badFrees_; // not ours, or freed twice: leave it alone
            return;
        }
        if (h.onFree_)
            h.onFree_(block, it->second);
        h.live_.erase(it);
        h.trace_.push_back("free");
    }
    std::free(block);
}

void Host::cbLog(const char *line) {
    Host &h = get();
    std::lock_guard lock(h.m_);
    h.logs_.emplace_back(line);
    h.trace_.push_back(std::string("log:") + line);
}

bool Host::cbMutexCreate(void **mutex) {
    Host &h = get();
    *mutex = new CheckedMutex;
    std::lock_guard lock(h.m_);
    ++h.mutexesAlive_;
    h.trace_.push_back("create");
    return true;
}

bool Host::cbMutexLock(void *mutex) {
    auto *cm = static_cast<CheckedMutex *>(mutex);
    if (tlHeld != 0) {
        std::lock_guard lock(get().m_);
        ++get().mutexErrors_; // taken twice on one path: would deadlock
        return false;
    }
    cm->m.lock();
    cm->owner = std::this_thread::get_id();
    ++tlHeld;
    get().note("lock");
    return true;
}

bool Host::cbMutexUnlock(void *mutex) {
    auto *cm = static_cast<CheckedMutex *>(mutex);
    if (tlHeld != 1 || cm->owner != std::this_thread::get_id()) {
        std::lock_guard lock(get().m_);
        ++get().mutexErrors_;
        return false;
    }
    get().note("unlock");
    --tlHeld;
    cm->owner = {};
    cm->m.unlock();
    return true;
}

bool Host::cbMutexDestroy(void **mutex) {
    Host &h = get();
    delete static_cast<CheckedMutex *>(*mutex);
    std::lock_guard lock(h.m_);
    --h.mutexesAlive_;
    h.trace_.push_back("destroy");
    return true;
}

bool Host::cbPost(uint32_t vmId, const char **names, qo_object *values, int32_t count, bool flag,
                  int32_t *errCode) {
    Host &h = get();
    std::lock_guard lock(h.m_);
    ++h.postCount_;
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(flag);
    EXPECT_EQ(*errCode, 0);
    EXPECT_EQ(tlHeld, 1) << "events are posted under the host mutex";
    bool ok = false;
    const int32_t value = qo_object_to_int32(values[0], &ok);
    EXPECT_TRUE(ok);
    if (h.failPostAt_ != 0 && h.postCount_ == h.failPostAt_) {
        *errCode = h.postErr_;
        return false;
    }
    if (!h.postOk_) {
        *errCode = h.postErr_;
        return false;
    }
    h.events_.push_back(Event{vmId, names[0], value});
    if (h.onEvent_)
        h.onEvent_(h.events_.back());
    return true;
}

Args::Args(std::initializer_list<int32_t> values) {
    for (int32_t v : values)
        addInt(v);
}
Args::~Args() {
    for (qo_object &o : objects_)
        qo_object_free(&o);
}
bool Args::complete() const {
    for (qo_object o : objects_)
        if (o == nullptr)
            return false;
    return true;
}
void Args::addInt(int32_t v) {
    objects_.push_back(qo_object_new_int32(v));
}
void Args::addBool(bool v) {
    objects_.push_back(qo_object_new_bool(v));
}
void Args::addString(const char *s) {
    objects_.push_back(qo_object_new_string(s));
}
void Args::addNull() {
    objects_.push_back(nullptr);
}

Answer call(Native native, uint32_t vm, Args &args) {
    qo_object out = nullptr;
    Answer a{};
    a.status = native(vm, args.argv(), args.argc(), &out);
    EXPECT_EQ(Host::heldByThisThread(), 0) << "native returned holding the mutex";
    a.hasValue = out != nullptr;
    bool ok = false;
    a.boolValue = qo_object_to_bool(out, &ok);
    a.intValue = qo_object_to_int32(out, nullptr);
    qo_object_free(&out);
    return a;
}

Answer call(Native native, uint32_t vm, std::initializer_list<int32_t> values) {
    Args args(values);
    return call(native, vm, args);
}

uint64_t homeMs(int y, unsigned mo, unsigned d, int h, int mi, int s, int ms) {
    using namespace std::chrono;
    const sys_days day{year{y} / month{mo} / d};
    const auto t = day + hours{h} + minutes{mi} + seconds{s} + milliseconds{ms};
    return static_cast<uint64_t>(duration_cast<milliseconds>(t.time_since_epoch()).count());
}

void PluginTest::SetUp() {
    host.reset();
    ASSERT_EQ(host.liveBlocks(), 0u);
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
}

void PluginTest::TearDown() {
    sh_func_manager_deinit();
    EXPECT_EQ(host.liveBlocks(), 0u) << "host blocks leaked";
    EXPECT_EQ(host.badFrees(), 0);
    EXPECT_EQ(host.mutexErrors(), 0);
    EXPECT_EQ(host.mutexesAlive(), 0);
}

bool PluginTest::delay(uint32_t vm, int32_t id, int32_t seconds) {
    Args args{id, seconds};
    const bool ok = sh_delay(vm, args.argv(), args.argc(), nullptr);
    EXPECT_EQ(Host::heldByThisThread(), 0);
    return ok;
}

bool PluginTest::cancel(uint32_t vm, int32_t id) {
    Args args{id};
    const bool ok = sh_cancel_delay(vm, args.argv(), args.argc(), nullptr);
    EXPECT_EQ(Host::heldByThisThread(), 0);
    return ok;
}

bool PluginTest::tick(uint64_t ms) {
    const bool ok = sh_time_update(ms);
    EXPECT_EQ(Host::heldByThisThread(), 0);
    return ok;
}

void PluginTest::expectOneValueNoLockNoLog(std::initializer_list<std::pair<Native, Args *>> calls) {
    host.clearTrace();
    for (const auto &[native, args] : calls) {
        const long n = host.allocations();
        qo_object out = nullptr;
        EXPECT_TRUE(native(1, args->argv(), args->argc(), &out));
        EXPECT_EQ(host.allocations(), n + 1);
        qo_object_free(&out);
    }
    for (const std::string &entry : host.trace())
        EXPECT_TRUE(entry == "free") << entry;
    EXPECT_TRUE(host.logs().empty());
}

} // namespace testhost
