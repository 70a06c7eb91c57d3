// SPDX-License-Identifier: MIT
#include "checks.h"

#include <algorithm>
#include <cstdio>

#include "holidays.h"

namespace shhost {

namespace {

// In CheckKind order.
const CheckNative CHECKS[] = {
    {CheckKind::TimeRange, "sh_time_range", &PluginApi::timeRange},
    {CheckKind::Calendar, "sh_calendar", &PluginApi::calendar},
    {CheckKind::WeekDay, "sh_week_day", &PluginApi::weekDay},
    {CheckKind::Lunar, "sh_lunar_time", &PluginApi::lunarTime},
    {CheckKind::SecondOfDay, "sh_get_second_of_day", &PluginApi::secondOfDay},
    {CheckKind::TimeOfDay, "sh_time_of_day", &PluginApi::timeOfDay},
    {CheckKind::LunarDay, "sh_lunar_day", &PluginApi::lunarDay},
    {CheckKind::SolarTerm, "sh_solar_term", &PluginApi::solarTerm},
    {CheckKind::SunWindow, "sh_sun_window", &PluginApi::sunWindow},
    {CheckKind::SunElevation, "sh_sun_elevation", &PluginApi::sunElevation},
    {CheckKind::Workday, "sh_workday", &PluginApi::workday},
    {CheckKind::Holiday, "sh_holiday", &PluginApi::holiday},
};

// Event numbers of sh_sun_window, from 1.
const char *const SUN_EVENTS[] = {"sunrise", "sunset", "civil dawn", "civil dusk", "solar noon"};

std::string sunEventWords(int64_t event, int64_t offset) {
    std::string text =
        event >= 1 && event <= 5 ? SUN_EVENTS[event - 1] : "sun event " + std::to_string(event);
    if (offset == 0)
        return text;
    const int64_t size = offset < 0 ? -offset : offset;
    std::string span = size % 3600 == 0 ? std::to_string(size / 3600) + "h"
                       : size % 60 == 0 ? std::to_string(size / 60) + "min"
                                        : std::to_string(size) + "s";
    return text + (offset < 0 ? " - " : " + ") + span;
}

std::string tenthsWords(int64_t tenths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%lld.%lld", tenths < 0 ? "-" : "",
                  static_cast<long long>((tenths < 0 ? -tenths : tenths) / 10),
                  static_cast<long long>((tenths < 0 ? -tenths : tenths) % 10));
    return buf;
}

// Monday first, as the weekday mask counts.
const char *const WEEKDAY_NAMES[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};

// Term 1 is the Start of Spring, each next one 15 degrees of the sun further.
const char *const SOLAR_TERMS[] = {
    "Start of Spring",  "Rain Water",       "Awakening of Insects",
    "Spring Equinox",   "Clear and Bright", "Grain Rain",
    "Start of Summer",  "Grain Buds",       "Grain in Ear",
    "Summer Solstice",  "Minor Heat",       "Major Heat",
    "Start of Autumn",  "End of Heat",      "White Dew",
    "Autumnal Equinox", "Cold Dew",         "Frost's Descent",
    "Start of Winter",  "Minor Snow",       "Major Snow",
    "Winter Solstice",  "Minor Cold",       "Major Cold",
};

// The time of day a bound of sh_time_range stands for: whole days of its
// second-of-day are dropped, and a negative rest reaches into the day before.
int32_t boundTimeOfDay(int64_t secondOfDay) {
    const int64_t rest = secondOfDay % 86400;
    return static_cast<int32_t>(rest < 0 ? rest + 86400 : rest);
}

std::string weekdayWords(int64_t mask) {
    std::vector<int> days;
    for (int d = 0; d < 7; ++d)
        if (mask & (1 << d))
            days.push_back(d);
    if (days.empty())
        return "no day of the week";
    if (days.size() == 7)
        return "every day of the week";
    const bool run = days.back() - days.front() + 1 == static_cast<int>(days.size());
    if (run && days.size() >= 3)
        return std::string(WEEKDAY_NAMES[days.front()]) + " to " + WEEKDAY_NAMES[days.back()];
    std::string text;
    for (size_t i = 0; i < days.size(); ++i) {
        if (i > 0)
            text += i + 1 == days.size() ? " or " : ", ";
        text += WEEKDAY_NAMES[days[i]];
    }
    return text;
}

std::string field(int64_t v, int width, int64_t add = 0) {
    if (v == -1)
        return std::string(static_cast<size_t>(width), '*');
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v + add));
    return buf;
}

// One bound of sh_time_range: "18:00", or with its date "2024-12-24 18:00".
std::string boundWords(const std::vector<int64_t> &a, size_t first) {
    const std::string time = clockWords(boundTimeOfDay(a[first + 3]));
    if (a[first] == -1 && a[first + 1] == -1 && a[first + 2] == -1)
        return time;
    return field(a[first], 4, 2000) + "-" + field(a[first + 1], 2) + "-" + field(a[first + 2], 2) +
           " " + time;
}

const char *const DASH = "\u2013";

// The day a holiday condition asks about, as words after it.
std::string daysAheadWords(int64_t ahead) {
    if (ahead == 0)
        return "";
    if (ahead == 1)
        return " tomorrow";
    if (ahead == -1)
        return " yesterday";
    // Appended: GCC 12 at -O2 warns falsely (-Wrestrict) on " " + string.
    std::string words(ahead > 0 ? " in " : " ");
    words += std::to_string(ahead > 0 ? ahead : -ahead);
    words += ahead > 0 ? " days" : " days ago";
    return words;
}

} // namespace

std::string clockWords(int64_t s) {
    char buf[64];
    if (s % 60 == 0)
        std::snprintf(buf, sizeof buf, "%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60));
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

const CheckNative &checkNative(CheckKind k) {
    for (const CheckNative &c : CHECKS)
        if (c.kind == k)
            return c;
    return CHECKS[0];
}

std::string absentNative(const PluginApi &api, const std::vector<Command> &commands) {
    for (const Command &c : commands) {
        if (c.op == Op::Check && api.*checkNative(c.check).native == nullptr)
            return checkNative(c.check).name;
        if (c.op == Op::Restart && api.delayRestart == nullptr)
            return "sh_delay_restart";
        if (c.op == Op::Remaining && api.delayRemaining == nullptr)
            return "sh_delay_remaining";
        if (c.op == Op::Location && api.setHomeLocation == nullptr)
            return "sh_set_home_location";
        if (c.op == Op::Zone && api.setHomeZone == nullptr)
            return "sh_set_home_zone";
        if (c.op == Op::Holidays && api.holidayScheduleLoad == nullptr)
            return "sh_holiday_schedule_load";
    }
    return {};
}

bool callNative(Native native, uint32_t vm, const std::vector<int64_t> &args, qo_object *out) {
    std::vector<qo_object> argv;
    for (int64_t v : args)
        argv.push_back(qo_object_new_int32(static_cast<int32_t>(v)));
    const bool status = native(vm, argv.data(), static_cast<int32_t>(argv.size()), out);
    for (qo_object &o : argv)
        qo_object_free(&o);
    return status;
}

std::string describeCondition(const Command &c) {
    const std::vector<int64_t> &a = c.ints;
    switch (c.check) {
    case CheckKind::TimeRange: {
        const bool wild =
            a[0] == -1 && a[1] == -1 && a[2] == -1 && a[4] == -1 && a[5] == -1 && a[6] == -1;
        return boundWords(a, 0) + DASH + boundWords(a, 4) + (wild ? " today" : "");
    }
    case CheckKind::Calendar:
        return field(a[0], 4, 2000) + "-" + field(a[1], 2) + "-" + field(a[2], 2);
    case CheckKind::WeekDay:
        return weekdayWords(a[0]);
    case CheckKind::Lunar:
        return "lunar day " + std::to_string(a[0]) + "/" + std::to_string(a[1]);
    case CheckKind::SecondOfDay:
        return "second of day";
    case CheckKind::TimeOfDay: {
        const auto at = [](int64_t v) {
            return v == 86400            ? std::string("24:00")
                   : v >= 0 && v < 86400 ? clockWords(v)
                                         : "second " + std::to_string(v);
        };
        return at(a[0]) + DASH + at(a[1]) + (a[0] > a[1] ? " (over midnight)" : "");
    }
    case CheckKind::LunarDay: {
        const std::string day =
            a[1] == -1 ? "the last day of lunar month " + std::to_string(a[0])
                       : "lunar day " + std::to_string(a[0]) + "/" + std::to_string(a[1]);
        const char *leap = a[2] == 1    ? " of the leap month"
                           : a[2] == -1 ? ", ordinary or leap month"
                                        : "";
        return day + leap;
    }
    case CheckKind::SolarTerm:
        if (a[0] == 0)
            return "any solar term";
        if (a[0] >= 1 && a[0] <= 24)
            return std::string("solar term ") + SOLAR_TERMS[a[0] - 1];
        return "solar term " + std::to_string(a[0]);
    case CheckKind::SunWindow:
        return sunEventWords(a[0], a[1]) + DASH + sunEventWords(a[2], a[3]);
    case CheckKind::SunElevation:
        return "sun elevation " + tenthsWords(a[0]) + DASH + tenthsWords(a[1]) + "\u00b0";
    case CheckKind::Workday:
        return "working day" + daysAheadWords(a[0]);
    case CheckKind::Holiday:
        return (a[0] == 0 ? std::string("a holiday break")
                          : std::string("the ") + holidayName(a[0]) + " break") +
               daysAheadWords(a[1]);
    }
    return {};
}

bool isSunCheck(const Command &check) {
    return check.check == CheckKind::SunWindow || check.check == CheckKind::SunElevation;
}

std::vector<int32_t> changePoints(const Command &c) {
    std::vector<int32_t> points{0};
    const std::vector<int64_t> &a = c.ints;
    if (c.check == CheckKind::TimeRange) {
        // Both bounds are inclusive: it starts to hold at the start's second
        // and stops one second after the end's.
        points.push_back(boundTimeOfDay(a[3]));
        points.push_back((boundTimeOfDay(a[7]) + 1) % 86400);
    } else if (c.check == CheckKind::TimeOfDay) {
        for (int64_t bound : {a[0], a[1]})
            if (bound >= 0 && bound <= 86400)
                points.push_back(static_cast<int32_t>(bound % 86400));
    }
    // Every other condition is about the date and changes only at midnight.
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

} // namespace shhost
