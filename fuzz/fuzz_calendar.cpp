// SPDX-License-Identifier: MIT
// Home time over arbitrary timestamps, the lunar conversion over arbitrary
// dates, and the conversion back over arbitrary fields: no undefined
// behaviour, agreement with the civil calendar inside the range, and with
// timegm wherever it represents the moment.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "qolunar-convert.h"
#include "sh-sys-var.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace std::chrono;
    uint8_t buf[24] = {};
    std::memcpy(buf, data, size < sizeof buf ? size : sizeof buf);
    uint64_t ts = 0;
    std::memcpy(&ts, buf, 8);

    SysRtc rtc;
    qo_get_hometime(ts, &rtc);
    const uint64_t clamped = ts > HOME_TIME_LAST_MS ? HOME_TIME_LAST_MS : ts;
    const sys_time<milliseconds> t{milliseconds{static_cast<int64_t>(clamped)}};
    const auto today = floor<days>(t);
    const year_month_day ymd{today};
    const hh_mm_ss hms{floor<seconds>(t - today)};
    if (rtc.ucYear != int(ymd.year()) - 2000 || rtc.ucMonth != unsigned(ymd.month()) ||
        rtc.ucDay != unsigned(ymd.day()) || rtc.ucHour != hms.hours().count() ||
        rtc.ucMinute != hms.minutes().count() || rtc.ucSecond != hms.seconds().count() ||
        rtc.ucWeek != weekday{today}.iso_encoding())
        std::abort();

    uint16_t y;
    std::memcpy(&y, buf + 8, 2);
    const uint8_t m = buf[10], d = buf[11];
    LunarDate lunar;
    std::memset(&lunar, 0xEE, sizeof lunar);
    const bool ok = qo_solar_to_lunar(y, m, d, &lunar);
    const year_month_day solar{year{y}, month{m}, day{d}};
    if (ok && (!solar.ok() || y < 1898 || y > 2101 || lunar.ucMonth < 1 || lunar.ucMonth > 12 ||
               lunar.ucDay < 1 || lunar.ucDay > 30))
        std::abort();
    if (!ok && (lunar.usYear != 0xEEEE || lunar.ucMonth != 0xEE || lunar.ucDay != 0xEE))
        std::abort(); // a refusal wrote the record

    int32_t fields[3];
    std::memcpy(fields, buf + 12, sizeof fields);
    const int32_t secondOfDay = fields[0] ^ fields[1];
    const int64_t value = qo_formate_time(&rtc, fields[0], fields[1], fields[2], secondOfDay);
    const int64_t tmYear = (fields[0] == -1 ? rtc.ucYear : int64_t{fields[0]}) + 100;
    const int64_t tmMon = (fields[1] == -1 ? rtc.ucMonth : int64_t{fields[1]}) - 1;
    if (tmYear <= INT32_MAX && tmMon >= INT32_MIN) {
        struct tm tm;
        std::memset(&tm, 0, sizeof tm);
        tm.tm_year = static_cast<int>(tmYear);
        tm.tm_mon = static_cast<int>(tmMon);
        tm.tm_mday = fields[2] == -1 ? rtc.ucDay : fields[2];
        tm.tm_hour = secondOfDay / 3600 % 24;
        tm.tm_min = secondOfDay / 60 % 60;
        tm.tm_sec = secondOfDay % 60;
        errno = 0;
        const time_t libc = timegm(&tm);
        if (!(libc == static_cast<time_t>(-1) && errno != 0) && libc != value)
            std::abort();
    }
    return 0;
}
