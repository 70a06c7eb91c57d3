// SPDX-License-Identifier: MIT
#include "player.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "checks.h"
#include "holidays.h"
#include "qolunar-convert.h"
#include "sh-sys-sun.h"
#include "sh-sys-zone.h"

namespace shhost {

namespace {

const char *const WEEKDAYS[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                "Thursday", "Friday", "Saturday"};

bool callBool(Native native, const std::vector<int64_t> &args) {
    qo_object out = nullptr;
    const bool status = callNative(native, 1, args, &out);
    const bool value = qo_object_to_bool(out, nullptr);
    qo_object_free(&out);
    return status && value;
}

std::string counted(long n, const char *noun) {
    return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string clockOf(int64_t ms) {
    return formatHomeTime(ms).substr(11, 8);
}

// The clock alone when it is today's, else the date as well.
std::string dueAt(int64_t now, int64_t due) {
    const int64_t DAY = 86'400'000;
    const bool today = (now >= 0 ? now / DAY : -1) == (due >= 0 ? due / DAY : -1);
    return today ? clockOf(due) : formatHomeTime(due).substr(0, 19);
}

} // namespace

Player::Player(const PluginApi &api, PlayerOptions options, FILE *out)
    : api_(api), options_(std::move(options)), out_(out) {}

bool Player::begin(std::string &error, const HomeSettings &home) {
    Services::get().setLogStream(options_.quiet ? nullptr : out_);
    Services::get().bindTo(api_, options_.delayVar, options_.secondVar);
    if (!api_.init()) {
        error = "sh_func_manager_init refused to start (see the plug-in's log above)";
        return false;
    }
    if (home.location) {
        if (api_.setHomeLocation == nullptr) {
            error = "the plug-in does not provide sh_set_home_location";
            return false;
        }
        if (!api_.setHomeLocation(home.location->first, home.location->second)) {
            error = "the plug-in refuses the location (see its log above)";
            return false;
        }
        home_.location = home.location;
    }
    if (home.zone) {
        if (api_.setHomeZone == nullptr) {
            error = "the plug-in does not provide sh_set_home_zone";
            return false;
        }
        if (!api_.setHomeZone(home.zone->c_str())) {
            error =
                "the plug-in refuses the zone '" + quoteBytes(*home.zone) + "' (see its log above)";
            return false;
        }
        home_.zone = home.zone;
    }
    return true;
}

void Player::setHome(const Command &c) {
    if (c.op == Op::Location) {
        const bool ok = api_.setHomeLocation(c.latitude, c.longitude);
        if (ok)
            home_.location = std::make_pair(c.latitude, c.longitude);
        line(c.text, std::string("sh_set_home_location -> ") + (ok ? "true" : "false"));
        return;
    }
    const bool ok = api_.setHomeZone(c.zone.c_str());
    if (ok)
        home_.zone = c.zone;
    line(c.text, std::string("sh_set_home_zone -> ") + (ok ? "true" : "false"));
}

// Today's sunrise and sunset as the plug-in defines them: around the solar
// noon nearest to the day's home noon, each turned into home time with the
// offset in force at its instant. The same sun and zone units the plug-in is
// built from compute them: show cannot move the plug-in's clock to ask it.
std::string Player::sunToday() const {
    ShZone zone{};
    if (!sh_zone_parse(home_.zone->c_str(), &zone, nullptr))
        return "sun: the zone does not parse";
    const auto [lat, lon] = *home_.location;
    const int64_t day = (now_ >= 0 ? now_ : now_ - 86'399'999) / 86'400'000;
    const int64_t transit = sh_sun_transit(lon, sh_zone_home_to_utc(&zone, day * 86400 + 43200));
    std::string text = "sun:";
    for (const bool rising : {true, false}) {
        int64_t utc = 0;
        bool above = false;
        text += rising ? " sunrise " : ", sunset ";
        if (sh_sun_crossing(lat, lon, SUN_ALTITUDE_RISE_SET, transit, rising, &utc, &above)) {
            const int64_t home = utc + sh_zone_utc_offset(&zone, utc);
            text += dueAt(now_, home * 1000);
        } else {
            text += above ? "none (up all day)" : "none (down all day)";
        }
    }
    return text;
}

void Player::line(const std::string &command, const std::string &result) {
    if (options_.quiet)
        return;
    std::fprintf(out_, "%s  %-44s %s\n", formatHomeTime(now_).c_str(), command.c_str(),
                 result.c_str());
}

void Player::printEvents() {
    for (const PostedEvent &e : Services::get().takeEvents()) {
        if (e.vm == 0) {
            ++secondEvents_;
            if (options_.verbose)
                std::fprintf(out_, "%s    second of day  %s = %d\n", formatHomeTime(now_).c_str(),
                             e.name.c_str(), e.value);
            continue;
        }
        ++delayEvents_;
        forget(e.vm, e.value);
        if (!options_.quiet)
            std::fprintf(out_, "%s    event  vm %u  %s = %d\n", formatHomeTime(now_).c_str(), e.vm,
                         e.name.c_str(), e.value);
    }
}

void Player::tickAt(int64_t ms) {
    if (ticked_ && ms > now_)
        forward_ += ms - now_;
    ticked_ = true;
    now_ = ms;
    ++ticks_;
    api_.timeUpdate(static_cast<uint64_t>(ms));
    printEvents();
}

std::string Player::expect(uint32_t vm, int32_t id, int64_t seconds, bool restart) {
    const int64_t due = forward_ + std::max<int64_t>(seconds, 0) * 1000;
    auto it = std::find_if(pending_.begin(), pending_.end(),
                           [&](const Pending &p) { return p.vm == vm && p.id == id; });
    if (it == pending_.end())
        pending_.push_back({vm, id, due});
    else if (restart)
        it->dueForward = due;
    return seconds > 0 ? "fires at " + dueAt(now_, now_ + seconds * 1000)
                       : "fires at the next tick";
}

void Player::forget(uint32_t vm, int32_t id) {
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const Pending &p) { return p.vm == vm && p.id == id; }),
                   pending_.end());
}

void Player::execute(const Command &c, const std::string &file) {
    // A scenario is refused as a whole before it runs; this is for the
    // commands typed in --realtime.
    if (const std::string absent = absentNative(api_, {c}); !absent.empty()) {
        std::fprintf(out_, "%s:%d: the plug-in does not provide %s\n", file.c_str(), c.line,
                     absent.c_str());
        return;
    }
    switch (c.op) {
    case Op::Say:
        if (!options_.quiet)
            std::fprintf(out_, "\n-- %s\n", c.text.c_str());
        return;
    case Op::Start:
        now_ = c.time;
        line(c.text, "tick");
        tickAt(c.time);
        return;
    case Op::Tick: {
        const int64_t target = c.relative ? now_ + c.time : c.time;
        if (target < 0) {
            std::fprintf(out_, "%s:%d: the tick would fall before 1970; skipped\n", file.c_str(),
                         c.line);
            return;
        }
        now_ = target;
        line(c.text, c.relative ? "tick at " + clockOf(target) : "tick");
        tickAt(target);
        return;
    }
    case Op::Advance: {
        const int64_t end = now_ + c.duration;
        const long steps = static_cast<long>((c.duration + c.every - 1) / c.every);
        line(c.text, counted(steps, "tick") + ", until " + clockOf(end));
        for (int64_t t = now_ + c.every; t < end; t += c.every)
            tickAt(t);
        tickAt(end);
        return;
    }
    case Op::Delay: {
        const auto vm = static_cast<uint32_t>(c.ints[0]);
        const auto id = static_cast<int32_t>(c.ints[1]);
        const bool ok = callNative(api_.delay, vm, {c.ints[1], c.ints[2]}, nullptr);
        const bool known = std::any_of(pending_.begin(), pending_.end(),
                                       [&](const Pending &p) { return p.vm == vm && p.id == id; });
        std::string result = std::string("sh_delay -> ") + (ok ? "true" : "false");
        if (ok && known)
            result += " (already pending)";
        else if (ok)
            result += ", " + expect(vm, id, c.ints[2], false);
        line(c.text, result);
        return;
    }
    case Op::Restart:
        restart(c);
        return;
    case Op::Remaining:
        remaining(c, file);
        return;
    case Op::Cancel: {
        const auto vm = static_cast<uint32_t>(c.ints[0]);
        const bool ok = callNative(api_.cancelDelay, vm, {c.ints[1]}, nullptr);
        if (ok)
            forget(vm, static_cast<int32_t>(c.ints[1]));
        line(c.text, std::string("sh_cancel_delay -> ") + (ok ? "true" : "false"));
        return;
    }
    case Op::Drop: {
        const auto vm = static_cast<uint32_t>(c.ints[0]);
        const bool ok = api_.dropVm(vm);
        if (ok)
            pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                          [&](const Pending &p) { return p.vm == vm; }),
                           pending_.end());
        line(c.text,
             std::string("sh_func_manager_delay_task_delete -> ") + (ok ? "true" : "false"));
        return;
    }
    case Op::Check:
        runCheck(c, file);
        return;
    case Op::Show:
        show();
        return;
    case Op::Location:
    case Op::Zone:
        setHome(c);
        return;
    case Op::Holidays:
        holidays(c, file);
        return;
    }
}

void Player::restart(const Command &c) {
    const auto vm = static_cast<uint32_t>(c.ints[0]);
    const auto id = static_cast<int32_t>(c.ints[1]);
    qo_object out = nullptr;
    const bool ok = callNative(api_.delayRestart, vm, {c.ints[1], c.ints[2]}, &out);
    qo_object_free(&out);
    const bool known = std::any_of(pending_.begin(), pending_.end(),
                                   [&](const Pending &p) { return p.vm == vm && p.id == id; });
    std::string result = std::string("sh_delay_restart -> ") + (ok ? "true" : "false");
    if (ok)
        result += std::string(known ? " (restarted)" : "") + ", " + expect(vm, id, c.ints[2], true);
    line(c.text, result);
}

void Player::remaining(const Command &c, const std::string &file) {
    qo_object out = nullptr;
    const bool status =
        callNative(api_.delayRemaining, static_cast<uint32_t>(c.ints[0]), {c.ints[1]}, &out);
    bool ok = false;
    const int64_t value = qo_object_to_int32(out, &ok);
    qo_object_free(&out);
    const std::string got = status && ok ? std::to_string(value) : "no value";
    report(c, file, std::string("sh_delay_remaining -> ") + (status ? "1" : "0") + ", " + got,
           status && ok && c.expect && value == *c.expect, got,
           c.expect ? std::to_string(*c.expect) : std::string());
}

void Player::report(const Command &c, const std::string &file, std::string result, bool met,
                    const std::string &got, const std::string &want) {
    ++checks_;
    if (!c.expect) {
        line(c.text, result);
        return;
    }
    result += met ? "   ok" : "   FAILED";
    line(c.text, result);
    if (!met) {
        ++checksFailed_;
        std::fprintf(out_, "%s:%d: expected %s got %s\n", file.c_str(), c.line, want.c_str(),
                     got.c_str());
    }
}

void Player::runCheck(const Command &c, const std::string &file) {
    const CheckNative &check = checkNative(c.check);
    const Native native = api_.*check.native;
    qo_object out = nullptr;
    const bool status = callNative(native, 1, c.ints, &out);
    const bool numeric = c.check == CheckKind::SecondOfDay;
    bool ok = false;
    const int64_t value = numeric ? qo_object_to_int32(out, &ok) : qo_object_to_bool(out, &ok);
    qo_object_free(&out);

    const std::string got = !status || !ok ? "no value"
                            : numeric      ? std::to_string(value)
                            : value        ? "true"
                                           : "false";
    const std::string result = std::string(check.name) + " -> " + (status ? "1" : "0") + ", " + got;
    const std::string want = !c.expect   ? std::string()
                             : numeric   ? std::to_string(*c.expect)
                             : *c.expect ? "true"
                                         : "false";
    report(c, file, result, status && ok && c.expect && value == *c.expect, got, want);
}

void Player::show() {
    if (options_.quiet)
        return;
    using namespace std::chrono;
    const sys_days day{days{now_ >= 0 ? now_ / 86'400'000 : 0}};
    const year_month_day ymd{day};
    LunarDate lunar{};
    const bool lunarOk = qo_solar_to_lunar(static_cast<uint16_t>(int(ymd.year())),
                                           static_cast<uint8_t>(unsigned(ymd.month())),
                                           static_cast<uint8_t>(unsigned(ymd.day())), &lunar);
    char lunarText[40] = "outside the lunar table";
    if (lunarOk)
        std::snprintf(lunarText, sizeof lunarText, "lunar %d month %d day %d", lunar.usYear,
                      lunar.ucMonth, lunar.ucDay);
    char text[160];
    std::snprintf(text, sizeof text, "%s, %s, second of day %lld",
                  WEEKDAYS[weekday{day}.c_encoding()], lunarText,
                  static_cast<long long>(now_ / 1000 % 86400));
    line("show", text);
    if (home_.location && home_.zone)
        std::fprintf(out_, "%25s  %s\n", "", sunToday().c_str());
    if (api_.workday != nullptr && api_.holiday != nullptr) {
        std::string day = callBool(api_.workday, {0}) ? "working day" : "day off";
        std::string breaks;
        for (int64_t h = 1; h <= 8; ++h)
            if (callBool(api_.holiday, {h, 0}))
                breaks += std::string(breaks.empty() ? "" : ", ") + holidayName(h);
        if (!breaks.empty())
            day += ", in the holiday break of " + breaks;
        std::fprintf(out_, "%25s  %s\n", "", day.c_str());
    }
    if (pending_.empty()) {
        std::fprintf(out_, "%25s  pending delays: none\n", "");
        return;
    }
    for (const Pending &p : pending_) {
        const std::string due =
            "fires at " + formatHomeTime(now_ + std::max<int64_t>(p.dueForward - forward_, 0));
        std::fprintf(out_, "%25s  pending: vm %u id %d (%s)\n", "", p.vm, p.id, due.c_str());
    }
}

// A relative path is taken from the scenario file's folder, so that a
// scenario and its schedule travel together.
void Player::holidays(const Command &c, const std::string &file) {
    std::filesystem::path path(c.path);
    if (path.is_relative() && !file.empty() && file.front() != '<')
        path = std::filesystem::path(file).parent_path() / path;
    std::string error;
    if (!loadHolidayFile(api_, path.string(), error)) {
        std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), c.line, error.c_str());
        stopped_ = true;
        return;
    }
    line(c.text, "sh_holiday_schedule_load -> true");
}

bool Player::play(const Scenario &scenario) {
    for (const Command &c : scenario.commands) {
        execute(c, scenario.name);
        if (stopped_)
            break;
    }
    return checksFailed_ == 0;
}

int Player::finish() {
    api_.deinit();
    printEvents();
    const MemoryReport m = Services::get().memory();
    std::fprintf(out_, "\nsummary: %s, %s, %s, %s (%ld failed)\n", counted(ticks_, "tick").c_str(),
                 counted(delayEvents_, "delay event").c_str(),
                 counted(secondEvents_, "second-of-day event").c_str(),
                 counted(checks_, "check").c_str(), checksFailed_);
    std::fprintf(
        out_,
        "host memory: %ld blocks leaked (%zu bytes); peak %ld blocks, %zu bytes; %ld allocations\n",
        m.blocks, m.bytes, m.peakBlocks, m.peakBytes, m.allocations);
    return checksFailed_ != 0 || m.blocks != 0 ? 1 : 0;
}

} // namespace shhost
