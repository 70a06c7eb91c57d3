// SPDX-License-Identifier: MIT
// The home's place and zone: sh_set_home_location and sh_set_home_zone.
//
// Both work while the manager is initialised, from any thread, also while
// the natives run: a setting is published whole (ShPublished), so a native
// sees the old setting or the new one, never a mix. Deinit drops both.
#include "sh-sys-home.h"

#include <atomic>
#include <cmath>
#include <cstdint>

#include "kelvo_sh_sys.h"
#include "sh-sys-func.h"
#include "sh-sys-publish.h"

namespace {

ShPublished<ShHome> gHome;
// The generation of the record last published; written after it.
std::atomic<uint32_t> gHomeGeneration{0};
// The last generation handed out, under gHome's writer flag.
uint32_t guHomeGenerationLast;
std::atomic<uint32_t> guHomeMissLogged{0}; // a word: see ShPublished::m_uWriting

// Publishes fnChange(record) as the next generation.
template <typename F> void sh_home_publish(F fnChange) {
    uint32_t uGeneration = 0;
    gHome.write([&](ShHome &stSpare, const ShHome &stCurrent) {
        stSpare = stCurrent;
        fnChange(stSpare);
        stSpare.uGeneration = ++guHomeGenerationLast;
        if (stSpare.uGeneration == 0) // after four billion settings
            stSpare.uGeneration = ++guHomeGenerationLast;
        uGeneration = stSpare.uGeneration;
        return true;
    });
    gHomeGeneration.store(uGeneration, std::memory_order_release);
}

} // namespace

uint32_t sh_home_generation() {
    return gHomeGeneration.load(std::memory_order_acquire);
}

ShHome sh_home_get() {
    return gHome.read([](const ShHome &stHome) { return stHome; });
}

void sh_home_drop() {
    sh_home_publish([](ShHome &stHome) {
        stHome.bHasPlace = false;
        stHome.bHasZone = false;
        stHome.dLatitude = 0.0;
        stHome.dLongitude = 0.0;
        stHome.stZone = ShZone{};
    });
    guHomeMissLogged.store(0, std::memory_order_relaxed);
}

bool sh_home_first_miss() {
    return guHomeMissLogged.exchange(1, std::memory_order_relaxed) == 0;
}

extern "C" {

bool sh_set_home_location(double latitude, double longitude) {
    if (!sh_is_init())
        return false;
    if (!std::isfinite(latitude) || latitude < -90.0 || latitude > 90.0) {
        sh_log_out("sh_set_home_location: latitude %g is not within -90..90 degrees", latitude);
        return false;
    }
    if (!std::isfinite(longitude) || longitude < -180.0 || longitude > 180.0) {
        sh_log_out("sh_set_home_location: longitude %g is not within -180..180 degrees", longitude);
        return false;
    }
    sh_home_publish([latitude, longitude](ShHome &stHome) {
        stHome.bHasPlace = true;
        stHome.dLatitude = latitude;
        stHome.dLongitude = longitude;
    });
    return true;
}

bool sh_set_home_zone(const char *tz) {
    if (!sh_is_init())
        return false;
    if (tz == nullptr) {
        sh_log_out("sh_set_home_zone: no zone given");
        return false;
    }
    ShZone stZone{};
    const char *pszWhy = nullptr;
    int iWhere = 0;
    if (!sh_zone_parse_at(tz, &stZone, &pszWhy, &iWhere)) {
        // The reason and the place, not the text: it came from outside.
        sh_log_out("sh_set_home_zone: %s at character %d of the zone",
                   pszWhy != nullptr ? pszWhy : "not a POSIX TZ string", iWhere + 1);
        return false;
    }
    sh_home_publish([&stZone](ShHome &stHome) {
        stHome.bHasZone = true;
        stHome.stZone = stZone;
    });
    return true;
}

} // extern "C"
