// SPDX-License-Identifier: MIT
#include "holidays.h"

#include <fstream>
#include <sstream>

#include "scenario.h"
#include "services.h"

namespace shhost {

namespace {

const char *const HOLIDAY_NAMES[] = {
    "any holiday",          "New Year's Day",      "Spring Festival", "Qingming",     "Labour Day",
    "Dragon Boat Festival", "Mid-Autumn Festival", "National Day",    "other day off"};

// "holiday schedule line 12: what" -> "path:12: what"; "holiday schedule:
// what" -> "path: what".
std::string locate(const std::string &path, const std::string &logLine) {
    const std::string shown = quoteBytes(path);
    const std::string lineTag = "holiday schedule line ";
    const std::string plainTag = "holiday schedule: ";
    if (logLine.rfind(lineTag, 0) == 0) {
        const size_t colon = logLine.find(':', lineTag.size());
        if (colon != std::string::npos)
            return shown + ":" + logLine.substr(lineTag.size(), colon - lineTag.size()) +
                   logLine.substr(colon);
    }
    if (logLine.rfind(plainTag, 0) == 0)
        return shown + ": " + logLine.substr(plainTag.size());
    return shown + ": the plug-in refused the schedule" +
           (logLine.empty() ? std::string() : " (" + logLine + ")");
}

} // namespace

const char *holidayName(int64_t holiday) {
    return holiday >= 0 && holiday <= 8 ? HOLIDAY_NAMES[holiday] : "no such holiday";
}

bool loadHolidayFile(const PluginApi &api, const std::string &path, std::string &error) {
    if (api.holidayScheduleLoad == nullptr) {
        error = "the plug-in does not provide sh_holiday_schedule_load";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad()) {
        error = "cannot read holiday schedule '" + quoteBytes(path) + "'";
        return false;
    }
    const std::string body = text.str();
    Services::get().takeLastLog();
    if (api.holidayScheduleLoad(body.data(), body.size()))
        return true;
    error = locate(path, Services::get().takeLastLog());
    return false;
}

} // namespace shhost
