// SPDX-License-Identifier: MIT
// The home's place and zone, and the sun conditions sh_sun_window and
// sh_sun_elevation, through the public header. The windows are checked
// against their definition written out plainly (every day's events from the
// sun and zone units, no cache, days far either side), against the sun's
// elevation, and for the polar rules at 70 and 78 degrees north and 78 south.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sh-sys-sun.h"
#include "sh-sys-zone.h"
#include "native_args.h"
#include "test_host.h"

using namespace testhost;

namespace {

constexpr int64_t DAY = 86400;

struct Home {
    const char *name;
    double lat;
    double lon;
    const char *tz;
};
const Home BEIJING{"Beijing", 39.9042, 116.4074, "CST-8"};
const Home BERLIN{"Berlin", 52.52, 13.405, "CET-1CEST,M3.5.0,M10.5.0/3"};
const Home TROMSO{"Tromso, 70N", 69.6492, 18.9553, "CET-1CEST,M3.5.0,M10.5.0/3"};
const Home LONGYEARBYEN{"Longyearbyen, 78N", 78.2232, 15.6267, "CET-1CEST,M3.5.0,M10.5.0/3"};
const Home MCMURDO{"McMurdo, 78S", -77.846, 166.676, "NZST-12NZDT,M9.5.0,M4.1.0/3"};

enum Event { RISE = 1, SET = 2, DAWN = 3, DUSK = 4, NOON = 5 };

struct Window {
    int from;
    int fromOffset;
    int to;
    int toOffset;
};

// The windows the tests ask about: the plain ones, offsets that push a
// window past midnight, the same event at both ends, and the widest offsets.
const Window WINDOWS[] = {
    {RISE, 0, SET, 0},      {SET, 0, RISE, 0},           {DAWN, 0, DUSK, 0},
    {DUSK, 0, DAWN, 0},     {SET, 1800, RISE, 0},        {SET, 28800, RISE, -3600},
    {RISE, -3600, NOON, 0}, {NOON, 0, NOON, 3600},       {NOON, 3600, NOON, 0},
    {SET, 0, SET, 25200},   {DAWN, 43200, RISE, -43200}, {DUSK, -43200, SET, 43200},
};

std::string show(const Window &w) {
    return std::to_string(w.from) + " " + std::to_string(w.fromOffset) + " " +
           std::to_string(w.to) + " " + std::to_string(w.toOffset);
}

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

// The definition of the windows, written out: day D's events around the
// solar noon nearest to D's home noon, a missing one at a day boundary.
class Definition {
  public:
    explicit Definition(const Home &home) : home_(home) {
        const char *why = nullptr;
        EXPECT_TRUE(sh_zone_parse(home.tz, &zone_, &why)) << home.tz;
    }

    int64_t transitUtc(int64_t day) {
        return sh_sun_transit(home_.lon, sh_zone_home_to_utc(&zone_, day * DAY + DAY / 2));
    }
    int64_t home(int64_t utc) const { return utc + sh_zone_utc_offset(&zone_, utc); }

    // Whether the event happens that day, and where it is (home seconds).
    std::pair<bool, int64_t> event(int64_t day, int kind) {
        const auto key = std::make_pair(day, kind);
        if (auto it = memo_.find(key); it != memo_.end())
            return it->second;
        const int64_t transit = transitUtc(day);
        std::pair<bool, int64_t> result{true, home(transit)};
        if (kind != NOON) {
            const bool rising = kind == RISE || kind == DAWN;
            const double altitude = kind == RISE || kind == SET ? -0.833 : -6.0;
            int64_t utc = 0;
            bool above = false;
            if (sh_sun_crossing(home_.lat, home_.lon, altitude, transit, rising, &utc, &above))
                result = {true, home(utc)};
            else if (above)
                result = {false, rising ? day * DAY : (day + 1) * DAY};
            else
                result = {false, rising ? (day + 1) * DAY : day * DAY};
        }
        return memo_[key] = result;
    }
    int64_t at(int64_t day, int kind) { return event(day, kind).second; }

    static bool closesSameDay(const Window &w) {
        static const int order[] = {0, 1, 3, 0, 4, 2}; // dawn rise noon set dusk
        return w.from == w.to ? w.fromOffset < w.toOffset : order[w.from] < order[w.to];
    }
    std::pair<int64_t, int64_t> window(int64_t day, const Window &w) {
        return {at(day, w.from) + w.fromOffset,
                at(day + (closesSameDay(w) ? 0 : 1), w.to) + w.toOffset};
    }
    bool holds(int64_t t, const Window &w) {
        const int64_t today = floorDiv(t, DAY);
        // A window reaches at most a day and a half either side of its day.
        for (int64_t day = today - 4; day <= today + 4; ++day) {
            const auto [open, close] = window(day, w);
            if (open <= t && t < close)
                return true;
        }
        return false;
    }

  private:
    Home home_;
    ShZone zone_{};
    std::map<std::pair<int64_t, int>, std::pair<bool, int64_t>> memo_;
};

class SunNatives : public PluginTest {
  protected:
    void setHome(const Home &h) {
        ASSERT_TRUE(sh_set_home_location(h.lat, h.lon)) << h.name;
        ASSERT_TRUE(sh_set_home_zone(h.tz)) << h.name;
    }
    // Home time t in seconds; ticks only when it changes (fewer posts).
    void at(int64_t t) {
        if (t != now_) {
            sh_time_update(static_cast<uint64_t>(t) * 1000);
            now_ = t;
            if (++ticks_ % 4096 == 0)
                host.clearEvents();
        }
    }
    Answer window(const Window &w) {
        return call(sh_sun_window, 1, {w.from, w.fromOffset, w.to, w.toOffset});
    }
    bool holds(int64_t t, const Window &w) {
        at(t);
        const Answer a = window(w);
        EXPECT_TRUE(a.status && a.hasValue) << show(w) << " at " << t;
        return a.boolValue;
    }
    Answer elevation(int32_t low, int32_t high) { return call(sh_sun_elevation, 1, {low, high}); }

    int64_t now_ = -1;
    long ticks_ = 0;
};

int64_t homeSeconds(int y, unsigned m, unsigned d, int h = 0, int mi = 0, int s = 0) {
    return static_cast<int64_t>(homeMs(y, m, d, h, mi, s) / 1000);
}

// ------------------------------------------------------------ the settings

TEST(SunSettings, RefusedWhileTheManagerIsNotRunning) {
    Host &host = Host::get();
    host.reset();
    host.bind();
    EXPECT_FALSE(sh_set_home_location(39.9, 116.4));
    EXPECT_FALSE(sh_set_home_zone("CST-8"));
    ASSERT_TRUE(sh_func_manager_init());
    EXPECT_TRUE(sh_set_home_location(39.9, 116.4));
    sh_func_manager_deinit();
    EXPECT_FALSE(sh_set_home_zone("CST-8"));
    EXPECT_EQ(host.liveBlocks(), 0U);
}

TEST_F(SunNatives, BadValuesAreRefusedWithOneLineAndThePreviousSettingStays) {
    setHome(BEIJING);
    at(homeSeconds(2024, 6, 21, 12));
    const Answer before = elevation(700, 750); // about 73.5 degrees at Beijing's noon
    ASSERT_TRUE(before.status && before.boolValue);
    const double nan = std::nan("");
    const double inf = INFINITY;
    const std::vector<std::pair<double, double>> badPlaces = {
        {90.001, 0}, {-90.5, 0}, {nan, 0}, {inf, 0}, {0, 180.01}, {0, -181}, {0, nan}, {0, -inf}};
    for (const auto &[lat, lon] : badPlaces) {
        host.clearTrace();
        const size_t logs = host.logs().size();
        EXPECT_FALSE(sh_set_home_location(lat, lon)) << lat << "," << lon;
        ASSERT_EQ(host.logs().size(), logs + 1);
        EXPECT_LE(host.logs().back().size(), 126U);
        EXPECT_NE(host.logs().back().find(std::isfinite(lat) && std::fabs(lat) <= 90 ? "longitude"
                                                                                     : "latitude"),
                  std::string::npos)
            << host.logs().back();
    }
    const std::vector<const char *> badZones = {
        nullptr,     "",       "CET-1CEST", "CET-25",
        "8",         "CST-8 ", "<+08>-8<",  "CET-1CEST,M3.5.0,M13.5.0/3",
        "\n\x01\xff"};
    for (const char *tz : badZones) {
        const size_t logs = host.logs().size();
        EXPECT_FALSE(sh_set_home_zone(tz)) << (tz ? tz : "null");
        ASSERT_EQ(host.logs().size(), logs + 1);
        EXPECT_LE(host.logs().back().size(), 126U);
        EXPECT_EQ(host.logs().back().rfind("sh_set_home_zone: ", 0), 0U) << host.logs().back();
    }
    // Beijing, in CST-8, still answers.
    EXPECT_TRUE(elevation(700, 750).boolValue);
    EXPECT_TRUE(holds(homeSeconds(2024, 6, 21, 12), {RISE, 0, SET, 0}));
    EXPECT_FALSE(holds(homeSeconds(2024, 6, 21, 23), {RISE, 0, SET, 0}));
    // The extremes are places too.
    EXPECT_TRUE(sh_set_home_location(90, 180));
    EXPECT_TRUE(sh_set_home_location(-90, -180));
}

TEST_F(SunNatives, WithoutPlaceOrZoneTheyAnswerFalseAndSayOncePerInitWhatIsMissing) {
    at(homeSeconds(2024, 6, 21, 12));
    auto sunLogs = [&] {
        long n = 0;
        for (const std::string &line : host.logs())
            n += line.find("sh_sun_") == 0;
        return n;
    };
    Answer a = window({RISE, 0, SET, 0});
    EXPECT_TRUE(a.status && a.hasValue && !a.boolValue);
    ASSERT_EQ(sunLogs(), 1);
    EXPECT_NE(host.logs().back().find("no home location and no home zone"), std::string::npos)
        << host.logs().back();
    a = elevation(-900, 900);
    EXPECT_TRUE(a.status && a.hasValue && !a.boolValue);
    ASSERT_TRUE(sh_set_home_location(BERLIN.lat, BERLIN.lon));
    a = elevation(-900, 900);
    EXPECT_TRUE(a.status && a.hasValue && !a.boolValue);
    EXPECT_EQ(sunLogs(), 1) << "one line per init";
    ASSERT_TRUE(sh_set_home_zone(BERLIN.tz));
    EXPECT_TRUE(elevation(-900, 900).boolValue);

    // Deinit drops both settings; the next life logs again.
    sh_func_manager_deinit();
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    at(homeSeconds(2024, 6, 21, 12));
    a = elevation(-900, 900);
    EXPECT_TRUE(a.status && a.hasValue && !a.boolValue);
    EXPECT_EQ(sunLogs(), 2) << "a new life, a new log";
    ASSERT_TRUE(sh_set_home_location(BERLIN.lat, BERLIN.lon));
    sh_func_manager_deinit();
    host.bind();
    ASSERT_TRUE(sh_func_manager_init());
    ASSERT_TRUE(sh_set_home_location(BERLIN.lat, BERLIN.lon));
    at(homeSeconds(2024, 6, 21, 12));
    a = window({RISE, 0, SET, 0});
    EXPECT_TRUE(a.status && a.hasValue && !a.boolValue);
    ASSERT_EQ(sunLogs(), 3);
    EXPECT_NE(host.logs().back().find("sh_sun_window: no home zone"), std::string::npos)
        << host.logs().back();
}

TEST_F(SunNatives, WrongArgumentsAreRefusedWithFalse) {
    setHome(BERLIN);
    at(homeSeconds(2024, 6, 21, 12));
    const NativeShape shapes[] = {
        {sh_sun_window, {1, 0, 2, 0}, {{1, 5}, {-43200, 43200}, {1, 5}, {-43200, 43200}}},
        {sh_sun_elevation, {-900, 900}, {{-900, 900}, {-900, 900}}}};
    for (const NativeShape &s : shapes)
        expectWrongArgumentsRefused(s);
    EXPECT_TRUE(refused(elevation(10, -10))) << "low above high";
    EXPECT_TRUE(elevation(900, 900).status);
}

TEST_F(SunNatives, EachCallMakesOneValueTakesNoLockAndLogsNothing) {
    setHome(BEIJING);
    at(homeSeconds(2024, 6, 21, 12));
    Args win{SET, 1800, RISE, 0}, elev{-60, 900};
    // Twice: the first computes the day's events, the second reads them.
    for (int i = 0; i < 2; ++i)
        expectOneValueNoLockNoLog({{sh_sun_window, &win}, {sh_sun_elevation, &elev}});
}

// ------------------------------------------------------------ the windows

// Every window of every home, against the definition: at random times of
// every day of a year, and one second either side of every open and close.
TEST_F(SunNatives, WindowsFollowTheirDefinitionToTheSecondOverAYear) {
    std::mt19937 rng(2024);
    for (const Home &h : {BEIJING, BERLIN, TROMSO, LONGYEARBYEN, MCMURDO}) {
        setHome(h);
        Definition def(h);
        const int64_t first = homeSeconds(2024, 1, 1) / DAY;
        for (const Window &w : WINDOWS) {
            long checked = 0;
            for (int64_t day = first; day < first + 366; day += 1) {
                std::vector<int64_t> times;
                times.push_back(day * DAY + static_cast<int64_t>(rng() % DAY));
                if (day % 3 == 0) {
                    const auto [open, close] = def.window(day, w);
                    for (int64_t edge : {open, close})
                        for (int64_t t : {edge - 1, edge})
                            times.push_back(t);
                }
                for (int64_t t : times) {
                    ASSERT_EQ(holds(t, w), def.holds(t, w))
                        << h.name << " window " << show(w) << " at home second " << t << " (day "
                        << day << ")";
                    ++checked;
                }
            }
            EXPECT_GT(checked, 700);
        }
    }
}

// Questions out of order: the cache slides back and forth, and still agrees.
TEST_F(SunNatives, QuestionsInAnyOrderAgreeWithTheDefinition) {
    std::mt19937 rng(7);
    setHome(TROMSO);
    Definition def(TROMSO);
    const int64_t start = homeSeconds(2020, 1, 1);
    for (int i = 0; i < 3000; ++i) {
        const int64_t t = start + static_cast<int64_t>(rng() % (6 * 366 * DAY));
        const Window &w = WINDOWS[rng() % std::size(WINDOWS)];
        ASSERT_EQ(holds(t, w), def.holds(t, w)) << show(w) << " at " << t;
    }
}

// Sunrise to sunset is the time the sun stands above the rise altitude,
// away from the crossings; and each window and its reverse share out time.
TEST_F(SunNatives, DaylightMatchesTheSunsElevationAndNightIsTheRest) {
    for (const Home &h : {BEIJING, BERLIN, TROMSO, LONGYEARBYEN, MCMURDO}) {
        setHome(h);
        ShZone zone{};
        ASSERT_TRUE(sh_zone_parse(h.tz, &zone, nullptr));
        long compared = 0;
        for (int64_t t = homeSeconds(2024, 1, 1, 0, 7); t < homeSeconds(2025, 1, 1); t += 7919) {
            const bool day = holds(t, {RISE, 0, SET, 0});
            ASSERT_NE(day, holds(t, {SET, 0, RISE, 0})) << h.name << " at " << t;
            ASSERT_NE(holds(t, {DAWN, 0, DUSK, 0}), holds(t, {DUSK, 0, DAWN, 0}))
                << h.name << " at " << t;
            const int64_t utc = sh_zone_home_to_utc(&zone, t);
            const double e = sh_sun_elevation(h.lat, h.lon, utc * 1000);
            if (std::fabs(e + 0.833) < 0.5)
                continue; // near a crossing, or grazing the altitude all day
            ASSERT_EQ(day, e > -0.833) << h.name << " at " << t << ", elevation " << e;
            ++compared;
        }
        EXPECT_GT(compared, 3500) << h.name;
    }
}

// Polar day and night: the whole home day, midnight to midnight.
TEST_F(SunNatives, PolarDayAndNightHoldAllDayOrNever) {
    struct Case {
        Home home;
        int64_t day;
        bool riseToSet; // all day, else never
        bool dawnToDusk;
    };
    const Case cases[] = {
        {LONGYEARBYEN, homeSeconds(2024, 6, 21) / DAY, true, true},
        {LONGYEARBYEN, homeSeconds(2024, 12, 21) / DAY, false, false},
        {TROMSO, homeSeconds(2024, 6, 21) / DAY, true, true},
        {MCMURDO, homeSeconds(2024, 12, 21) / DAY, true, true},
        {MCMURDO, homeSeconds(2024, 6, 21) / DAY, false, false},
    };
    for (const Case &c : cases) {
        setHome(c.home);
        for (int64_t t :
             {c.day * DAY, c.day * DAY + 1, c.day * DAY + DAY / 2, c.day * DAY + DAY - 1}) {
            EXPECT_EQ(holds(t, {RISE, 0, SET, 0}), c.riseToSet) << c.home.name << " " << t;
            EXPECT_EQ(holds(t, {SET, 0, RISE, 0}), !c.riseToSet) << c.home.name << " " << t;
            EXPECT_EQ(holds(t, {DAWN, 0, DUSK, 0}), c.dawnToDusk) << c.home.name << " " << t;
            // Blinds half an hour after sunset: never in polar day, all
            // night long in polar night.
            EXPECT_EQ(holds(t, {SET, 1800, RISE, 0}), !c.riseToSet) << c.home.name << " " << t;
        }
    }
    // At 70N on the winter solstice the sun stays below the horizon but
    // rises above -6 degrees: civil twilight at noon, no sunrise.
    setHome(TROMSO);
    const int64_t dec21 = homeSeconds(2024, 12, 21);
    EXPECT_FALSE(holds(dec21 + DAY / 2, {RISE, 0, SET, 0}));
    EXPECT_TRUE(holds(dec21 + DAY / 2, {DAWN, 0, DUSK, 0}));
    EXPECT_FALSE(holds(dec21 + 2 * 3600, {DAWN, 0, DUSK, 0}));
}

// The days on which polar day begins and ends at 70N, 78N and 78S: the
// windows of consecutive days join there.
TEST_F(SunNatives, PolarDayBeginsAndEndsWithoutGapOrOverlap) {
    for (const Home &h : {TROMSO, LONGYEARBYEN, MCMURDO}) {
        setHome(h);
        Definition def(h);
        const int64_t first = homeSeconds(2024, 1, 1) / DAY;
        int changes = 0;
        for (int64_t day = first; day < first + 366; ++day) {
            const bool polar = !def.event(day, RISE).first;
            if (polar == !def.event(day - 1, RISE).first)
                continue;
            ++changes;
            // The midnight between the two days, and the hours around it.
            for (int64_t t = day * DAY - 6 * 3600; t <= day * DAY + 6 * 3600; t += 600) {
                const bool daylight = holds(t, {RISE, 0, SET, 0});
                EXPECT_NE(daylight, holds(t, {SET, 0, RISE, 0})) << h.name << " " << t;
                // With offsets too: until half an hour after sunset, and from then on.
                EXPECT_NE(holds(t, {RISE, 0, SET, 1800}), holds(t, {SET, 1800, RISE, 0}))
                    << h.name << " " << t;
                EXPECT_NE(holds(t, {DAWN, -600, DUSK, 600}), holds(t, {DUSK, 600, DAWN, -600}))
                    << h.name << " " << t;
                EXPECT_EQ(daylight, def.holds(t, {RISE, 0, SET, 0})) << h.name << " " << t;
            }
            // A polar day is daylight from its first second, a polar night
            // is night from its first second.
            if (polar) {
                EXPECT_EQ(holds(day * DAY + 1, {RISE, 0, SET, 0}), def.at(day, RISE) == day * DAY)
                    << h.name << " day " << day;
            }
        }
        // Polar day begins and ends, and so does polar night (at 70N and
        // 78N; at 78S the year starts and ends in polar day).
        EXPECT_GE(changes, 3) << h.name;
    }
}

// Sunrise and sunset at 70 and 78 degrees north and south, every day of 2024
// and 2025, against the independent ephemeris astronomy-engine (the dump of
// scripts/dump-sun-astronomy-engine.js in tests/data): the window from
// sunrise to sunset turns within two minutes of its sunrise and sunset, and
// holds all day or never where it finds the sun above or below all day.
// The zone is the longitude's whole hour, so home noon lies near the
// ephemeris's mean solar noon and both take the same transit.
TEST_F(SunNatives, HighLatitudesAgreeWithAnIndependentEphemeris) {
    struct Day {
        int64_t noon;
        std::string rise, set; // UTC seconds, or "above" / "below"
    };
    std::ifstream in(std::string(KELVO_TEST_DATA_DIR) + "/sun-polar-astronomy-engine.txt");
    ASSERT_TRUE(in.good());
    std::map<std::pair<double, double>, std::vector<Day>> places;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        double lat = 0, lon = 0;
        std::string date, transit, dawn, dusk;
        Day d{};
        words >> lat >> lon >> date >> d.noon >> transit >> d.rise >> d.set >> dawn >> dusk;
        ASSERT_FALSE(words.fail()) << line;
        places[{lat, lon}].push_back(d);
    }
    ASSERT_EQ(places.size(), 8U);
    const Window daylight{RISE, 0, SET, 0};
    const auto found = [](const std::string &w) { return w != "above" && w != "below"; };
    const auto utc = [](const std::string &w) {
        return static_cast<int64_t>(std::floor(std::stod(w)));
    };
    long crossings = 0, polar = 0;
    for (const auto &[place, days] : places) {
        const auto [lat, lon] = place;
        const long hours = std::lround(lon / 15);
        const std::string zone =
            "HOM" + std::string(hours > 0 ? "-" : "") + std::to_string(std::labs(hours));
        ASSERT_TRUE(sh_set_home_location(lat, lon));
        ASSERT_TRUE(sh_set_home_zone(zone.c_str())) << zone;
        const int64_t shift = hours * 3600;
        for (size_t i = 1; i + 1 < days.size(); ++i) {
            const Day &d = days[i], &before = days[i - 1], &after = days[i + 1];
            const std::string where = std::to_string(lat) + "," + std::to_string(lon) +
                                      " day of noon " + std::to_string(d.noon);
            if (found(d.rise) && found(d.set) && utc(d.set) - utc(d.rise) > 7200 &&
                found(before.set) && utc(before.set) < utc(d.rise) - 7200 && found(after.rise) &&
                utc(after.rise) > utc(d.set) + 7200) {
                const int64_t rise = utc(d.rise) + shift, set = utc(d.set) + shift;
                EXPECT_FALSE(holds(rise - 120, daylight)) << where;
                EXPECT_TRUE(holds(rise + 120, daylight)) << where;
                EXPECT_TRUE(holds(set - 120, daylight)) << where;
                EXPECT_FALSE(holds(set + 120, daylight)) << where;
                ++crossings;
            } else if (!found(d.rise) && d.rise == d.set && before.rise == d.rise &&
                       before.set == d.rise && after.rise == d.rise && after.set == d.rise) {
                const int64_t day = floorDiv(d.noon + shift, DAY);
                for (int64_t t : {day * DAY, day * DAY + DAY / 2, day * DAY + DAY - 1})
                    EXPECT_EQ(holds(t, daylight), d.rise == "above") << where << " at " << t;
                ++polar;
            }
        }
    }
    EXPECT_GT(crossings, 2000);
    EXPECT_GT(polar, 1000);
}

// A window that an offset pushes past midnight still holds after midnight.
TEST_F(SunNatives, OffsetsPushWindowsPastMidnight) {
    setHome(BEIJING);
    Definition def(BEIJING);
    const int64_t day = homeSeconds(2024, 1, 15) / DAY;
    // Sunset at about 17:20 and eight hours more: the window opens after
    // midnight and holds until an hour before sunrise.
    const Window late{SET, 28800, RISE, -3600};
    const auto [open, close] = def.window(day, late);
    ASSERT_GT(open, (day + 1) * DAY);
    EXPECT_FALSE(holds((day + 1) * DAY + 60, late));
    EXPECT_FALSE(holds(open - 1, late));
    EXPECT_TRUE(holds(open, late));
    EXPECT_TRUE(holds(close - 1, late));
    EXPECT_FALSE(holds(close, late));
    // Sunset to seven hours after it, about 00:20: past midnight, the day
    // before's window still holds.
    const Window evening{SET, 0, SET, 25200};
    ASSERT_GT(def.window(day, evening).second, (day + 1) * DAY + 600);
    EXPECT_TRUE(holds((day + 1) * DAY + 600, evening));
    EXPECT_FALSE(holds((day + 1) * DAY + 3600, evening));
    // Sunset to sunrise is one window, this evening to tomorrow morning.
    const Window night{SET, 0, RISE, 0};
    EXPECT_TRUE(holds(day * DAY + 23 * 3600, night));
    EXPECT_TRUE(holds((day + 1) * DAY + 3600, night));
    EXPECT_EQ(holds(def.at(day + 1, RISE) - 1, night), true);
    EXPECT_EQ(holds(def.at(day + 1, RISE), night), false);
}

// Events are turned into home time with the offset in force at their own
// instant, not at the day's noon: here summer time starts at 14:00.
TEST_F(SunNatives, EventsTakeTheOffsetInForceAtTheirInstant) {
    const Home home{"Berlin, summer time from 14:00", BERLIN.lat, BERLIN.lon,
                    "XST-1XDT,M3.5.0/14,M10.5.0/3"};
    setHome(home);
    ShZone zone{};
    ASSERT_TRUE(sh_zone_parse(home.tz, &zone, nullptr));
    const int64_t day = homeSeconds(2024, 3, 31) / DAY; // the last Sunday of March
    const int64_t noonUtc = sh_zone_home_to_utc(&zone, day * DAY + DAY / 2);
    ASSERT_EQ(sh_zone_utc_offset(&zone, noonUtc), 3600);
    const int64_t transit = sh_sun_transit(home.lon, noonUtc);
    int64_t riseUtc = 0, setUtc = 0;
    bool above = false;
    ASSERT_TRUE(sh_sun_crossing(home.lat, home.lon, -0.833, transit, true, &riseUtc, &above));
    ASSERT_TRUE(sh_sun_crossing(home.lat, home.lon, -0.833, transit, false, &setUtc, &above));
    // Sunrise in standard time, sunset in summer time.
    const Window daylight{RISE, 0, SET, 0};
    EXPECT_FALSE(holds(riseUtc + 3600 - 1, daylight));
    EXPECT_TRUE(holds(riseUtc + 3600, daylight));
    EXPECT_TRUE(holds(setUtc + 7200 - 1, daylight));
    EXPECT_FALSE(holds(setUtc + 7200, daylight));
    // The day after summer time ends, the set is in standard time again.
    setHome(BERLIN);
    Definition def(BERLIN);
    const int64_t oct = homeSeconds(2024, 10, 28) / DAY; // the day after summer time ends
    EXPECT_FALSE(holds(def.at(oct, SET), daylight));
    EXPECT_TRUE(holds(def.at(oct, SET) - 1, daylight));
    ASSERT_TRUE(sh_zone_parse(BERLIN.tz, &zone, nullptr));
    EXPECT_EQ(def.at(oct, SET) - sh_zone_home_to_utc(&zone, def.at(oct, SET)), 3600);
}

// A new place or zone drops the cached events at once.
TEST_F(SunNatives, ANewPlaceOrZoneAnswersAtOnce) {
    const int64_t t = homeSeconds(2024, 6, 21, 22, 30);
    const Window daylight{RISE, 0, SET, 0};
    setHome(LONGYEARBYEN);
    EXPECT_TRUE(holds(t, daylight));
    ASSERT_TRUE(sh_set_home_location(BERLIN.lat, BERLIN.lon));
    EXPECT_FALSE(holds(t, daylight));
    // Berlin's sun sets at about 19:33 UTC: 18:33 home time in UTC-1,
    // 00:33 in UTC+5.
    ASSERT_TRUE(sh_set_home_zone("<-01>1"));
    EXPECT_FALSE(holds(t, daylight));
    ASSERT_TRUE(sh_set_home_zone("<+05>-5"));
    EXPECT_TRUE(holds(t, daylight)) << "22:30 in UTC+5 is 19:30 in Berlin's summer time";
}

// ------------------------------------------------------------ elevation

TEST_F(SunNatives, ElevationIsTheSunsAtTheInstantOfHomeTime) {
    setHome(BEIJING);
    std::mt19937 rng(5);
    for (int i = 0; i < 2000; ++i) {
        const int64_t t = homeSeconds(2024, 1, 1) + static_cast<int64_t>(rng() % (366 * DAY));
        at(t);
        const double e = sh_sun_elevation(BEIJING.lat, BEIJING.lon, (t - 8 * 3600) * 1000);
        const auto tenths = static_cast<int32_t>(std::floor(e * 10));
        if (std::fabs(e * 10 - std::round(e * 10)) < 1e-3)
            continue; // within a ten-thousandth of a degree of a tenth
        EXPECT_TRUE(elevation(std::max(-900, tenths - 1), tenths + 1).boolValue) << t << " " << e;
        EXPECT_TRUE(elevation(-900, tenths + 1).boolValue);
        EXPECT_FALSE(elevation(tenths + 1, 900).boolValue) << t << " " << e;
        EXPECT_FALSE(elevation(-900, tenths).boolValue) << t << " " << e;
    }
}

// The native interpolates the unit's elevation between samples ten minutes
// apart: where the unit's elevation crosses a tenth of a degree, the native's
// answer turns within 50 ms of it (the sun moves 0.0002 degrees in 50 ms at
// most).
TEST_F(SunNatives, ElevationTurnsWhereTheSunsElevationCrossesTheBound) {
    std::mt19937 rng(11);
    int crossings = 0;
    for (const Home &h : {BEIJING, TROMSO, MCMURDO}) {
        setHome(h);
        ShZone zone{};
        ASSERT_TRUE(sh_zone_parse(h.tz, &zone, nullptr));
        for (int i = 0; i < 150; ++i) {
            // Home ms about a random instant, 20 minutes either side.
            const int64_t base =
                (homeSeconds(2024, 1, 1) + static_cast<int64_t>(rng() % (366 * DAY))) * 1000;
            const int64_t utcBase = (sh_zone_home_to_utc(&zone, base / 1000)) * 1000;
            auto elev = [&](int64_t home) {
                return sh_sun_elevation(h.lat, h.lon, utcBase + home - base);
            };
            int64_t lo = base - 1200000, hi = base + 1200000;
            const double e0 = elev(lo), e1 = elev(hi);
            const int32_t bound = static_cast<int32_t>(std::floor(std::max(e0, e1) * 10));
            if (bound <= std::min(e0, e1) * 10 || std::max(e0, e1) - std::min(e0, e1) < 0.05)
                continue; // no tenth crossed between, or too slow to tell
            const bool rising = e1 > e0;
            while (hi - lo > 1) {
                const int64_t mid = lo + (hi - lo) / 2;
                ((elev(mid) >= bound / 10.0) == rising ? hi : lo) = mid;
            }
            now_ = -1; // ticks below bypass at()
            sh_time_update(static_cast<uint64_t>(hi - 50 * (rising ? 1 : -1)));
            EXPECT_FALSE(elevation(bound, 900).boolValue) << h.name << " " << hi;
            sh_time_update(static_cast<uint64_t>(hi + 50 * (rising ? 1 : -1)));
            EXPECT_TRUE(elevation(bound, 900).boolValue) << h.name << " " << hi;
            ++crossings;
        }
    }
    EXPECT_GT(crossings, 200);
}

// 02:30 on the night summer time ends happens twice; it is taken in summer
// time, the first time. A place where the sun climbs fast then tells.
TEST_F(SunNatives, AnAmbiguousHomeTimeIsTheEarlierInstant) {
    ASSERT_TRUE(sh_set_home_location(0.0, 120.0));
    ASSERT_TRUE(sh_set_home_zone(BERLIN.tz));
    at(homeSeconds(2024, 10, 27, 2, 30));
    const int64_t first = homeSeconds(2024, 10, 27, 0, 30); // UTC, in CEST
    const double e = sh_sun_elevation(0.0, 120.0, first * 1000);
    const double later = sh_sun_elevation(0.0, 120.0, (first + 3600) * 1000);
    ASSERT_GT(later - e, 10.0);
    const auto tenths = static_cast<int32_t>(std::lround(e * 10));
    EXPECT_TRUE(elevation(tenths - 20, tenths + 20).boolValue);
}

// ------------------------------------------------------------ threads

// Readers on two threads while a third replaces the place and the zone:
// every answer belongs to one whole setting. Places A and B see the sun at
// about 30 degrees; a torn place (A's latitude with B's longitude or the
// other way round) would see it near 90 or near 14.5 degrees.
TEST_F(SunNatives, SettingsReplacedWhileNativesReadThemAreNeverTorn) {
    const double latA = 0.0, lonA = 60.0, latB = 60.0, lonB = 0.0;
    at(homeSeconds(2024, 3, 20, 12)); // home time in UTC, zone UTC0 or <UTC>0
    ASSERT_TRUE(sh_set_home_zone("UTC0"));
    for (auto [lat, lon, expected] :
         {std::tuple{latA, lonA, true}, std::tuple{latB, lonB, true}, std::tuple{latA, lonB, false},
          std::tuple{latB, lonA, false}}) {
        ASSERT_TRUE(sh_set_home_location(lat, lon));
        ASSERT_EQ(elevation(250, 350).boolValue, expected) << lat << "," << lon;
    }
    ASSERT_TRUE(sh_set_home_location(latA, lonA));
    std::atomic<bool> stop{false};
    std::atomic<long> torn{0}, reads{0}, nights{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            Args elev{250, 350}, night{SET, 0, RISE, 0};
            while (!stop.load()) {
                qo_object out = nullptr;
                torn +=
                    !sh_sun_elevation(1, elev.argv(), 2, &out) || !qo_object_to_bool(out, nullptr);
                qo_object_free(&out);
                // Noon at A and at B alike: never night, whatever the zone.
                nights +=
                    !sh_sun_window(1, night.argv(), 4, &out) || qo_object_to_bool(out, nullptr);
                qo_object_free(&out);
                ++reads;
            }
        });
    for (int i = 0; i < 4000; ++i) {
        EXPECT_TRUE(sh_set_home_location(i % 2 ? latA : latB, i % 2 ? lonA : lonB));
        EXPECT_TRUE(sh_set_home_zone(i % 3 ? "UTC0" : "<UTC>0"));
    }
    while (reads.load() < 2000)
        std::this_thread::yield();
    stop = true;
    for (auto &t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(nights.load(), 0);
}

} // namespace
