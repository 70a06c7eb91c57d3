// SPDX-License-Identifier: MIT
// The plug-in as a host sees it: a shared library opened at run time and its
// exported names resolved by name.
#pragma once

#include <string>
#include <vector>

#include "kelvo_sh_sys.h"
#include "loader.h"

namespace shhost {

using Native = bool (*)(uint32_t, qo_object *, int32_t, qo_object *);

struct PluginApi {
    decltype(&sh_callback_set_hal) setHal = nullptr;
    decltype(&sh_callback_set_logout) setLogout = nullptr;
    decltype(&sh_callback_set_mutex) setMutex = nullptr;
    decltype(&sh_callback_set_postevent) setPostEvent = nullptr;
    decltype(&sh_set_varkey_delay) setVarkeyDelay = nullptr;
    decltype(&sh_set_varkey_timevalue) setVarkeyTimevalue = nullptr;
    decltype(&sh_func_manager_init) init = nullptr;
    decltype(&sh_func_manager_deinit) deinit = nullptr;
    decltype(&qo_sh_sys_version) version = nullptr;
    decltype(&sh_time_update) timeUpdate = nullptr;
    decltype(&sh_func_manager_delay_task_delete) dropVm = nullptr;
    Native delay = nullptr;
    Native cancelDelay = nullptr;
    Native timeRange = nullptr;
    Native calendar = nullptr;
    Native weekDay = nullptr;
    Native lunarTime = nullptr;
    Native secondOfDay = nullptr;
    // Later additions, null when an older plug-in lacks them.
    Native timeOfDay = nullptr;
    Native lunarDay = nullptr;
    Native solarTerm = nullptr;
    Native delayRestart = nullptr;
    Native delayRemaining = nullptr;
    decltype(&sh_set_home_location) setHomeLocation = nullptr;
    decltype(&sh_set_home_zone) setHomeZone = nullptr;
    Native sunWindow = nullptr;
    Native sunElevation = nullptr;
    // The holiday schedule
    Native workday = nullptr;
    Native holiday = nullptr;
    decltype(&sh_holiday_schedule_load) holidayScheduleLoad = nullptr;
    decltype(&sh_holiday_schedule_covers) holidayScheduleCovers = nullptr;
};

class Plugin {
  public:
    Plugin() = default;
    Plugin(const Plugin &) = delete;
    Plugin &operator=(const Plugin &) = delete;

    // Opens path (or, when empty, the first of defaultCandidates() that
    // exists) and resolves every name. False with a one-line error.
    bool load(const std::string &path, std::string &error);
    const PluginApi &api() const { return api_; }
    const std::string &path() const { return path_; }

    // The library built beside this program, then the installed one.
    static std::vector<std::string> defaultCandidates();

  private:
    SharedLibrary library_;
    std::string path_;
    PluginApi api_;
};

} // namespace shhost
