// SPDX-License-Identifier: MIT
// Holiday schedule files for the plug-in: read, handed to
// sh_holiday_schedule_load, and a refusal told as FILE:LINE: what.
#pragma once

#include <string>

#include "plugin.h"

namespace shhost {

// Loads the schedule file at path into the running plug-in. False with a
// one-line error ("path:12: worked day not a Saturday or Sunday: '04-29'",
// or why the file cannot be read).
bool loadHolidayFile(const PluginApi &api, const std::string &path, std::string &error);

// The holidays of sh_holiday, 1 New Year's Day .. 8 any other day off; 0 is
// "any holiday".
const char *holidayName(int64_t holiday);

} // namespace shhost
