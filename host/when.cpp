// SPDX-License-Identifier: MIT
#include "when.h"

#include <algorithm>
#include <cstdio>

#include "checks.h"
#include "services.h"

namespace shhost {

namespace {

constexpr int64_t DAY = 86400;

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0) ? 1 : 0);
}

std::string secondText(int64_t second) {
    return formatHomeTime(second * 1000).substr(0, 19);
}

// "7d 00:00:00", or "00:05:00" under a day.
std::string spanText(int64_t seconds) {
    char buf[48];
    const long long d = seconds / DAY, rest = seconds % DAY;
    if (d > 0)
        std::snprintf(buf, sizeof buf, "%lldd %02lld:%02lld:%02lld", d, rest / 3600, rest / 60 % 60,
                      rest % 60);
    else
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", rest / 3600, rest / 60 % 60,
                      rest % 60);
    return buf;
}

} // namespace

bool ConditionClock::begin(std::string &error) {
    Services &s = Services::get();
    s.setLogStream(nullptr);
    s.bindTo(api_, "DelayId", "SecondOfDay");
    if (!api_.init()) {
        error = "sh_func_manager_init refused to start";
        return false;
    }
    initialised_ = true;
    if (home_.location && (api_.setHomeLocation == nullptr ||
                           !api_.setHomeLocation(home_.location->first, home_.location->second))) {
        error = api_.setHomeLocation == nullptr
                    ? "the plug-in does not provide sh_set_home_location"
                    : "the plug-in refuses the location";
        return false;
    }
    if (home_.zone && (api_.setHomeZone == nullptr || !api_.setHomeZone(home_.zone->c_str()))) {
        error = api_.setHomeZone == nullptr
                    ? "the plug-in does not provide sh_set_home_zone"
                    : "the plug-in refuses the zone '" + quoteBytes(*home_.zone) + "'";
        return false;
    }
    return true;
}

bool ConditionClock::holdsAt(const Command &check, int64_t second, std::string &error) {
    ++questions_;
    api_.timeUpdate(static_cast<uint64_t>(second * 1000));
    Services::get().takeEvents(); // second-of-day events: nobody listens
    const CheckNative &n = checkNative(check.check);
    qo_object out = nullptr;
    const bool status = callNative(api_.*n.native, 1, check.ints, &out);
    bool ok = false;
    const bool value = qo_object_to_bool(out, &ok);
    qo_object_free(&out);
    if (!status || !ok) {
        error = std::string(n.name) + " refuses the arguments '" + check.text + "' (status 0)";
        return false;
    }
    return value;
}

long ConditionClock::finish() {
    if (initialised_)
        api_.deinit();
    initialised_ = false;
    Services::get().takeEvents();
    return Services::get().memory().blocks;
}

namespace {

void append(std::vector<Interval> &out, int64_t first, int64_t last) {
    if (!out.empty() && out.back().last + 1 == first)
        out.back().last = last;
    else
        out.push_back({first, last});
}

// The sun conditions: asked every SUN_STEP seconds; where two answers in a
// row differ, the second at which the later one begins is bisected.
bool whenSunHolds(ConditionClock &clock, const Command &check, int64_t from, int64_t to,
                  std::vector<Interval> &out, std::string &error) {
    bool held = clock.holdsAt(check, from, error);
    int64_t since = from; // the answer is `held` from here on
    int64_t known = from; // up to here
    while (error.empty() && known < to) {
        const int64_t probe = std::min(to, known + SUN_STEP);
        const bool now = clock.holdsAt(check, probe, error);
        if (!error.empty())
            break;
        if (now == held) {
            known = probe;
            continue;
        }
        // held at `known`, not at `probe`: the first second that answers `now`.
        int64_t lo = known, hi = probe;
        while (hi - lo > 1) {
            const int64_t mid = lo + (hi - lo) / 2;
            const bool answer = clock.holdsAt(check, mid, error);
            if (!error.empty())
                return false;
            (answer == now ? hi : lo) = mid;
        }
        if (held)
            append(out, since, hi - 1);
        held = now;
        since = hi;
        known = hi;
    }
    if (!error.empty())
        return false;
    if (held)
        append(out, since, to);
    return true;
}

} // namespace

bool whenHolds(ConditionClock &clock, const Command &check, int64_t from, int64_t to,
               std::vector<Interval> &out, std::string &error) {
    if (isSunCheck(check))
        return whenSunHolds(clock, check, from, to, out, error);
    const std::vector<int32_t> points = changePoints(check);
    for (int64_t day = floorDiv(from, DAY); day <= floorDiv(to, DAY); ++day) {
        for (size_t i = 0; i < points.size(); ++i) {
            const int64_t next = i + 1 < points.size() ? points[i + 1] : DAY;
            const int64_t first = std::max(from, day * DAY + points[i]);
            const int64_t last = std::min(to, day * DAY + next - 1);
            if (first > last)
                continue;
            // The answer is the same throughout [first, last]: one question.
            const bool held = clock.holdsAt(check, first, error);
            if (!error.empty())
                return false;
            if (!held)
                continue;
            if (!out.empty() && out.back().last + 1 == first)
                out.back().last = last;
            else
                out.push_back({first, last});
        }
    }
    return true;
}

std::optional<int64_t> parseWhenTime(std::string_view text, bool endOfDay) {
    if (text.size() == 10) {
        const auto t = parseHomeTime(text, "00:00:00");
        if (!t)
            return std::nullopt;
        return *t / 1000 + (endOfDay ? DAY - 1 : 0);
    }
    if (text.size() != 19 || (text[10] != ' ' && text[10] != 'T'))
        return std::nullopt;
    const auto t = parseHomeTime(text.substr(0, 10), text.substr(11));
    if (!t)
        return std::nullopt;
    return *t / 1000;
}

std::string whenReport(const Command &check, int64_t from, int64_t to,
                       const std::vector<Interval> &intervals) {
    std::string text = "when " + describeCondition(check) + ", from " + secondText(from) + " to " +
                       secondText(to) + "\n";
    int64_t total = 0;
    for (const Interval &i : intervals) {
        text += secondText(i.first) + " .. " + secondText(i.last) + "\n";
        total += i.last - i.first + 1;
    }
    text += "total: " + std::to_string(intervals.size()) +
            (intervals.size() == 1 ? " interval, " : " intervals, ") + spanText(total) + " (" +
            std::to_string(total) + " s) of " + spanText(to - from + 1) + "\n";
    return text;
}

} // namespace shhost
