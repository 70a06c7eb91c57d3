// SPDX-License-Identifier: MIT
// The home's place and zone, as the host sets them with sh_set_home_location
// and sh_set_home_zone: one record that the sun natives read without a lock.
#ifndef SH_SYS_HOME_H
#define SH_SYS_HOME_H

#include <cstdint>

#include "sh-sys-zone.h"

struct ShHome {
    // Changes with every setting and with every drop, and never comes back
    // to an earlier value within a process (0: nothing set yet): what keeps
    // a cache computed for one place and zone from answering for another.
    uint32_t uGeneration;
    bool bHasPlace;
    bool bHasZone;
    double dLatitude;  // degrees, north positive
    double dLongitude; // degrees, east positive
    ShZone stZone;
};

// The generation of the settings in force; a cache whose generation equals
// it may answer for them.
uint32_t sh_home_generation();
// A copy of the settings in force, one whole record.
ShHome sh_home_get();
// Forgets both settings; deinit calls it.
void sh_home_drop();

// The sun natives log which setting is missing once per life of the
// manager: true for the first caller only, until the next drop.
bool sh_home_first_miss();

#endif // SH_SYS_HOME_H
