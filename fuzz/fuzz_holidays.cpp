// SPDX-License-Identifier: MIT
// sh_holiday_schedule_load over arbitrary texts. A refused text logs one
// line and changes nothing: every year's coverage and the natives' answers
// on a spread of days are as before. An accepted text logs nothing, covers
// its years, answers consistently (a day in a break is a day off; a break
// of some holiday is a break of "any"), and loads again to the same
// answers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_mutex.h"
#include "kelvo_sh_sys.h"

namespace {

using namespace kfuzz;

long gLogLines = 0;

void *hostMalloc(size_t size) {
    return std::malloc(size == 0 ? 1 : size);
}
void hostFree(void *p) {
    std::free(p);
}
void hostLog(const char *line) {
    if (std::strlen(line) > 126)
        std::abort();
    ++gLogLines;
}
bool post(uint32_t, const char **, qo_object *, int32_t, bool, int32_t *) {
    return true;
}

bool answer(bool (*native)(uint32_t, qo_object *, int32_t, qo_object *),
            std::vector<int32_t> args) {
    std::vector<qo_object> argv;
    for (int32_t v : args)
        argv.push_back(qo_object_new_int32(v));
    qo_object out = nullptr;
    if (!native(1, argv.data(), static_cast<int32_t>(argv.size()), &out))
        std::abort();
    const bool value = qo_object_to_bool(out, nullptr);
    qo_object_free(&out);
    for (qo_object &o : argv)
        qo_object_free(&o);
    return value;
}

// Noon of every 997th day from 1969-12-25, and the turns of the years the
// seed texts use: coverage of every year, then the working day and the ten
// holiday answers of each day.
std::vector<bool> fingerprint() {
    std::vector<bool> f;
    for (int32_t y = 1965; y <= 2105; ++y)
        f.push_back(sh_holiday_schedule_covers(y));
    std::vector<int64_t> days;
    for (int64_t d = -7; d < 47490; d += 997)
        days.push_back(d);
    for (int64_t d : {19722, 19723, 19724, 19997, 20088, 20089, 20090, 22280})
        days.push_back(
            d); // 2023-12-31 .. 2024-01-02, 2024-10-01, 2024-12-31 .. 2025-01-02, 2031-01-01
    for (int64_t d : days) {
        sh_time_update(static_cast<uint64_t>(d * 86400 + 43200) * 1000);
        const bool work = answer(sh_workday, {0});
        const bool any = answer(sh_holiday, {0, 0});
        if (any && work)
            std::abort(); // a day in a break is a day off
        f.push_back(work);
        f.push_back(any);
        bool some = false;
        for (int32_t h = 1; h <= 8; ++h) {
            const bool held = answer(sh_holiday, {h, 0});
            if (held && !any)
                std::abort();
            some = some || held;
            f.push_back(held);
        }
        if (any && !some)
            std::abort(); // a break belongs to a holiday
    }
    return f;
}

bool started() {
    sh_callback_set_hal(hostMalloc, hostFree);
    sh_callback_set_logout(hostLog);
    sh_callback_set_mutex(mutexCreate, mutexLock, mutexUnlock, mutexDestroy);
    sh_callback_set_postevent(post);
    sh_set_varkey_delay("DelayId");
    sh_set_varkey_timevalue("SecondOfDay");
    return sh_func_manager_init();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool running = started();
    if (!running)
        std::abort();
    const auto *text = reinterpret_cast<const char *>(data);
    const std::vector<bool> before = fingerprint();
    const long logsBefore = gLogLines;
    const bool loaded = sh_holiday_schedule_load(text, size);
    const long logged = gLogLines - logsBefore;
    if (!loaded) {
        if (logged != 1 || fingerprint() != before)
            std::abort();
        return 0;
    }
    if (logged != 0)
        std::abort();
    // Every "year YYYY" of the text is covered now.
    const std::string s(text, size);
    for (size_t at = s.find("year "); at != std::string::npos; at = s.find("year ", at + 1)) {
        const size_t lineStart = s.rfind('\n', at);
        const size_t first = lineStart == std::string::npos ? 0 : lineStart + 1;
        if (s.find_first_not_of(" \t\r", first) != at || at + 9 > s.size())
            continue;
        const std::string digits = s.substr(at + 5, 4);
        if (digits.find_first_not_of("0123456789") == std::string::npos &&
            (at + 9 == s.size() || std::strchr(" \t\r\n#", s[at + 9]) != nullptr) &&
            !sh_holiday_schedule_covers(std::atoi(digits.c_str())))
            std::abort();
    }
    const std::vector<bool> after = fingerprint();
    if (!sh_holiday_schedule_load(text, size) || fingerprint() != after)
        std::abort(); // the same text again: the same schedule
    return 0;
}
