// SPDX-License-Identifier: MIT
// Arbitrary sequences of lifecycle calls, ticks and natives with arbitrary
// argument vectors, against a host whose allocator and event delivery fail
// when the input says so. Aborts on a leaked host block or a native that
// answers 1 without its value.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "fuzz_mutex.h"
#include "kelvo_sh_sys.h"

namespace {

using namespace kfuzz;

struct Input {
    const uint8_t *p;
    size_t n;
    bool empty() const { return n == 0; }
    uint8_t byte() {
        if (n == 0)
            return 0;
        --n;
        return *p++;
    }
    template <typename T> T take() {
        T v{};
        const size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};

std::unordered_set<void *> gLive;
long gFailCountdown = -1; // fail the allocation when it reaches 0
bool gPostFails = false;

void *hostMalloc(size_t size) {
    if (gFailCountdown >= 0 && gFailCountdown-- == 0)
        return nullptr;
    void *p = std::malloc(size == 0 ? 1 : size);
    if (p != nullptr)
        gLive.insert(p);
    return p;
}
void hostFree(void *p) {
    if (p == nullptr)
        return;
    if (gLive.erase(p) != 1)
        std::abort(); // freed twice, or never ours
    std::free(p);
}
void hostLog(const char *line) {
    if (std::strlen(line) > 126)
        std::abort();
}
bool post(uint32_t, const char **names, qo_object *values, int32_t count, bool, int32_t *err) {
    if (count != 1 || names[0] == nullptr || values[0] == nullptr)
        std::abort();
    bool ok = false;
    qo_object_to_int32(values[0], &ok);
    if (!ok)
        std::abort();
    if (gPostFails)
        *err = 5;
    return !gPostFails;
}

using Native = bool (*)(uint32_t, qo_object *, int32_t, qo_object *);
const Native NATIVES[] = {sh_delay, sh_cancel_delay, sh_time_range, sh_calendar, sh_week_day,
                          sh_lunar_time, sh_get_second_of_day,
                          // the plug-in's own conditions
                          sh_time_of_day, sh_lunar_day, sh_solar_term,
                          // timer controls
                          sh_delay_restart, sh_delay_remaining,
                          // the sun conditions
                          sh_sun_window, sh_sun_elevation};
constexpr int NATIVE_COUNT = sizeof(NATIVES) / sizeof(NATIVES[0]);

void callNative(Input &in) {
    const uint8_t which = in.byte() % NATIVE_COUNT;
    const auto vm = static_cast<uint32_t>(in.byte() % 4);
    const int argc = in.byte() % 11;
    std::vector<qo_object> argv;
    for (int i = 0; i < argc; ++i) {
        switch (in.byte() % 4) {
        case 0:
            argv.push_back(qo_object_new_int32(in.take<int32_t>()));
            break;
        case 1:
            argv.push_back(qo_object_new_bool(in.byte() & 1));
            break;
        case 2:
            argv.push_back(qo_object_new_string("x"));
            break;
        default:
            argv.push_back(nullptr);
            break;
        }
    }
    const int32_t claimed =
        in.byte() < 16 ? static_cast<int32_t>(in.byte() % 11) : argc; // lie about argc
    const int32_t passed = claimed <= argc ? claimed : argc;
    qo_object out = nullptr;
    const bool status = NATIVES[which](vm, in.byte() < 8 ? nullptr : argv.data(), passed, &out);
    const Native native = NATIVES[which];
    const bool writesOut =
        native != sh_delay && native != sh_cancel_delay && native != sh_delay_restart;
    if (status && writesOut && out == nullptr)
        std::abort(); // a native with a value that answers 1 always stores it
    qo_object_free(&out);
    for (qo_object &o : argv)
        qo_object_free(&o);
}

// The home's place from any bits (NaN, infinities, out of range) and a zone
// from a few known strings or up to 24 raw bytes.
void setHome(Input &in) {
    const auto latitude = in.take<double>();
    const auto longitude = in.take<double>();
    sh_set_home_location(latitude, longitude);
    static const char *const ZONES[] = {"CST-8", "CET-1CEST,M3.5.0,M10.5.0/3",
                                        "NZST-12NZDT,M9.5.0,M4.1.0/3", "<-03>3"};
    const uint8_t pick = in.byte();
    if (pick < 128) {
        sh_set_home_zone(ZONES[pick % 4]);
        return;
    }
    char text[25] = {};
    for (size_t i = 0; i < sizeof(text) - 1 && !in.empty(); ++i)
        text[i] = static_cast<char>(in.byte());
    sh_set_home_zone(text);
}

void bind(Input &in) {
    const uint8_t mask = in.byte();
    sh_callback_set_hal((mask & 1) ? hostMalloc : nullptr, (mask & 1) ? hostFree : nullptr);
    sh_callback_set_logout((mask & 2) ? hostLog : nullptr);
    sh_callback_set_mutex(mutexCreate, mutexLock, mutexUnlock, (mask & 4) ? mutexDestroy : nullptr);
    sh_callback_set_postevent((mask & 8) ? post : nullptr);
    sh_set_varkey_delay((mask & 16) ? "DelayId" : nullptr);
    sh_set_varkey_timevalue((mask & 32) ? std::string(in.byte(), 'v').c_str() : nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    gFailCountdown = -1;
    gPostFails = false;
    while (!in.empty()) {
        switch (in.byte() % 8) {
        case 0:
            bind(in);
            break;
        case 1:
            sh_func_manager_init();
            break;
        case 2:
            sh_func_manager_deinit();
            break;
        case 3:
            sh_time_update(in.take<uint64_t>());
            break;
        case 4:
            if (in.byte() & 1)
                sh_func_manager_delay_task_delete(in.byte() % 4);
            else
                setHome(in);
            break;
        case 5:
            gFailCountdown = in.byte() < 32 ? in.byte() % 8 : -1;
            break;
        case 6:
            gPostFails = in.byte() & 1;
            break;
        default:
            callNative(in);
            break;
        }
    }
    // Leave the plug-in as found: running or not, nothing of the host's stays.
    gFailCountdown = -1;
    sh_callback_set_hal(hostMalloc, hostFree);
    sh_callback_set_mutex(mutexCreate, mutexLock, mutexUnlock, mutexDestroy);
    sh_callback_set_postevent(post);
    sh_func_manager_deinit();
    sh_callback_set_hal(hostMalloc, hostFree);
    sh_set_varkey_delay(nullptr);
    sh_set_varkey_timevalue(nullptr);
    qo_lib_init_hooks(nullptr, nullptr);
    if (!gLive.empty())
        std::abort(); // a host block leaked
    return 0;
}
