// SPDX-License-Identifier: MIT
#include "plugin.h"

#include <filesystem>

#include "loader.h"

namespace shhost {

namespace {

template <typename Fn>
bool resolve(const SharedLibrary &library, const char *name, Fn &out, std::string &missing) {
    void *symbol = library.symbol(name);
    if (symbol == nullptr) {
        if (missing.empty())
            missing = name;
        return false;
    }
    out = reinterpret_cast<Fn>(symbol);
    return true;
}

} // namespace

std::vector<std::string> Plugin::defaultCandidates() {
    const std::string dir = exeDirectory();
    return {builtPluginPath(dir), dir + "/../" KELVO_INSTALL_LIBDIR "/" + PLUGIN_FILE,
            KELVO_INSTALL_FULL_LIBDIR "/" + std::string(PLUGIN_FILE)};
}

bool Plugin::load(const std::string &path, std::string &error) {
    std::string chosen = path;
    if (chosen.empty()) {
        for (const std::string &candidate : defaultCandidates()) {
            if (isReadableFile(candidate)) {
                chosen = candidate;
                break;
            }
        }
        if (chosen.empty())
            chosen = PLUGIN_FILE; // the dynamic loader's own search path
    }
    std::string why;
    if (!library_.open(chosen, why)) {
        error = "cannot load plug-in '" + chosen + "': " + why;
        return false;
    }
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(chosen, ec);
    path_ = ec ? chosen : canonical.string();

    std::string missing;
    PluginApi &a = api_;
    resolve(library_, "sh_callback_set_hal", a.setHal, missing);
    resolve(library_, "sh_callback_set_logout", a.setLogout, missing);
    resolve(library_, "sh_callback_set_mutex", a.setMutex, missing);
    resolve(library_, "sh_callback_set_postevent", a.setPostEvent, missing);
    resolve(library_, "sh_set_varkey_delay", a.setVarkeyDelay, missing);
    resolve(library_, "sh_set_varkey_timevalue", a.setVarkeyTimevalue, missing);
    resolve(library_, "sh_func_manager_init", a.init, missing);
    resolve(library_, "sh_func_manager_deinit", a.deinit, missing);
    resolve(library_, "qo_sh_sys_version", a.version, missing);
    resolve(library_, "sh_time_update", a.timeUpdate, missing);
    resolve(library_, "sh_func_manager_delay_task_delete", a.dropVm, missing);
    resolve(library_, "sh_delay", a.delay, missing);
    resolve(library_, "sh_cancel_delay", a.cancelDelay, missing);
    resolve(library_, "sh_time_range", a.timeRange, missing);
    resolve(library_, "sh_calendar", a.calendar, missing);
    resolve(library_, "sh_week_day", a.weekDay, missing);
    resolve(library_, "sh_lunar_time", a.lunarTime, missing);
    resolve(library_, "sh_get_second_of_day", a.secondOfDay, missing);
    if (!missing.empty()) {
        error = "plug-in '" + path_ + "' lacks the symbol '" + missing + "'";
        return false;
    }
    // Optional: an older plug-in still runs every scenario that needs none.
    std::string absent;
    resolve(library_, "sh_time_of_day", a.timeOfDay, absent);
    resolve(library_, "sh_lunar_day", a.lunarDay, absent);
    resolve(library_, "sh_solar_term", a.solarTerm, absent);
    resolve(library_, "sh_delay_restart", a.delayRestart, absent);
    resolve(library_, "sh_delay_remaining", a.delayRemaining, absent);
    resolve(library_, "sh_set_home_location", a.setHomeLocation, absent);
    resolve(library_, "sh_set_home_zone", a.setHomeZone, absent);
    resolve(library_, "sh_sun_window", a.sunWindow, absent);
    resolve(library_, "sh_sun_elevation", a.sunElevation, absent);
    resolve(library_, "sh_workday", a.workday, absent);
    resolve(library_, "sh_holiday", a.holiday, absent);
    resolve(library_, "sh_holiday_schedule_load", a.holidayScheduleLoad, absent);
    resolve(library_, "sh_holiday_schedule_covers", a.holidayScheduleCovers, absent);
    return true;
}

} // namespace shhost
