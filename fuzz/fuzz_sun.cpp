// SPDX-License-Identifier: MIT
// The sun's unit over arbitrary places, altitudes and instants: no
// undefined behaviour (the fuzz build carries UBSan), and every answer
// within what its header promises.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sh-sys-sun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t buf[33] = {};
    std::memcpy(buf, data, size < sizeof buf ? size : sizeof buf);
    double latitude, longitude, altitude;
    int64_t instant;
    std::memcpy(&latitude, buf, 8);
    std::memcpy(&longitude, buf + 8, 8);
    std::memcpy(&altitude, buf + 16, 8);
    std::memcpy(&instant, buf + 24, 8);
    const bool rising = (buf[32] & 1) != 0;
    // Half the inputs as plausible values, so that the searches run too.
    if ((buf[32] & 2) != 0) {
        latitude = std::isfinite(latitude) ? std::fmod(latitude, 90.0) : 0.0;
        altitude = std::isfinite(altitude) ? std::fmod(altitude, 20.0) : -0.833;
        instant = static_cast<int64_t>(static_cast<uint64_t>(instant) % 4102444800ULL);
    }

    const double elevation = sh_sun_elevation(latitude, longitude, instant);
    const bool valid =
        std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0;
    if (valid != !std::isnan(elevation) || (valid && std::fabs(elevation) > 90.01))
        std::abort();

    const int64_t transit = sh_sun_transit(longitude, instant);
    const int64_t near = instant < -95000000000LL  ? -95000000000LL
                         : instant > 95000000000LL ? 95000000000LL
                                                   : instant;
    if (transit < near - 44000 || transit > near + 44000)
        std::abort();

    int64_t at = 0x5A5A5A5A;
    bool above = false;
    if (sh_sun_crossing(latitude, longitude, altitude, transit, rising, &at, &above)) {
        if (!valid ||
            (rising ? at < transit - 43200 || at > transit : at < transit || at > transit + 43200))
            std::abort();
    } else if (at != 0x5A5A5A5A) {
        std::abort(); // a refusal wrote the instant
    }
    return 0;
}
