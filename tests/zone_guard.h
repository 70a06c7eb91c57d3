// SPDX-License-Identifier: MIT
// Sets TZ for the life of the guard and restores the previous zone after.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace zone_detail {
// The C library's environment and zone reset, under their Windows names
// there; an empty TZ is Windows' way of unsetting it.
inline void setTz(const char *tz) {
#if defined(_WIN32)
    _putenv_s("TZ", tz != nullptr ? tz : "");
    _tzset();
#else
    if (tz != nullptr)
        setenv("TZ", tz, 1);
    else
        unsetenv("TZ");
    tzset();
#endif
}
} // namespace zone_detail

class ZoneGuard {
  public:
    explicit ZoneGuard(const char *tz) {
        const char *old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        zone_detail::setTz(tz);
    }
    ~ZoneGuard() { zone_detail::setTz(hadOld_ ? old_.c_str() : nullptr); }
    ZoneGuard(const ZoneGuard &) = delete;
    ZoneGuard &operator=(const ZoneGuard &) = delete;

  private:
    bool hadOld_ = false;
    std::string old_;
};

// A zone with daylight saving that needs no zone database.
inline constexpr const char *kZoneWithDst = "CET-1CEST,M3.5.0,M10.5.0/3";
