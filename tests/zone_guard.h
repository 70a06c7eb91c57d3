// SPDX-License-Identifier: MIT
// Sets TZ for the life of the guard and restores the previous zone after.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

class ZoneGuard {
  public:
    explicit ZoneGuard(const char *tz) {
        const char *old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_)
            old_ = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ZoneGuard(const ZoneGuard &) = delete;
    ZoneGuard &operator=(const ZoneGuard &) = delete;

  private:
    bool hadOld_ = false;
    std::string old_;
};

// A zone with daylight saving that needs no zone database.
inline constexpr const char *kZoneWithDst = "CET-1CEST,M3.5.0,M10.5.0/3";
