// SPDX-License-Identifier: MIT
// sh-sys-host with the sun conditions: when against asking the plug-in at
// every second, the calendar of a polar year, the place and zone commands,
// and show.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "calendar.h"
#include "checks.h"
#include "player.h"
#include "plugin.h"
#include "scenario.h"
#include "when.h"
#include "when_helpers.h"

namespace {

using namespace shhost;
using namespace whentest;

struct Home {
    double lat, lon;
    const char *zone;
};
const Home BEIJING{39.9042, 116.4074, "CST-8"};
const Home BERLIN{52.52, 13.405, "CET-1CEST,M3.5.0,M10.5.0/3"};
const Home TROMSO{69.6492, 18.9553, "CET-1CEST,M3.5.0,M10.5.0/3"};
const Home LONGYEARBYEN{78.2232, 15.6267, "CET-1CEST,M3.5.0,M10.5.0/3"};

class SunWhen : public ::testing::Test {
  protected:
    void SetUp() override {
        if (plugin().api().sunWindow == nullptr)
            GTEST_SKIP() << "the plug-in does not provide sh_sun_window";
    }
    void TearDown() override {
        if (clock_) {
            EXPECT_EQ(clock_->finish(), 0) << "host blocks leaked";
        }
    }
    ConditionClock &clockAt(const Home &h) {
        if (clock_) {
            EXPECT_EQ(clock_->finish(), 0);
        }
        clock_.emplace(plugin().api(),
                       HomeSettings{std::make_pair(h.lat, h.lon), std::string(h.zone)});
        std::string error;
        EXPECT_TRUE(clock_->begin(error)) << error;
        return *clock_;
    }
    // when against the plug-in asked at every second of [from, to].
    void expectExact(const Home &h, const std::string &text, int64_t from, int64_t to) {
        ConditionClock &clock = clockAt(h);
        const Command check = condition(text);
        std::vector<Interval> fast;
        std::string error;
        ASSERT_TRUE(whenHolds(clock, check, from, to, fast, error)) << error;
        std::vector<Interval> slow;
        for (int64_t s = from; s <= to; ++s) {
            if (!clock.holdsAt(check, s, error))
                continue;
            if (!slow.empty() && slow.back().last + 1 == s)
                slow.back().last = s;
            else
                slow.push_back({s, s});
        }
        ASSERT_EQ(error, "");
        EXPECT_FALSE(slow.empty()) << text << ": a case that never holds proves little";
        EXPECT_TRUE(fast == slow) << text << "\n"
                                  << whenReport(check, from, to, fast) << "every second:\n"
                                  << whenReport(check, from, to, slow);
    }
    std::optional<ConditionClock> clock_;
};

TEST_F(SunWhen, WindowsExactToTheSecondAgainstThePlugin) {
    // Beijing, over midnight, from an odd second.
    expectExact(BEIJING, "sun_window 2 1800 1 0", at("2024-06-21", "10:00:07"),
                at("2024-06-22", "10:00:00"));
    // Berlin on the day summer time starts.
    expectExact(BERLIN, "sun_window 1 0 2 0", at("2024-03-31"), at("2024-03-31", "23:59:59"));
    // Tromso as polar day begins: the last sunset, then light all day.
    expectExact(TROMSO, "sun_window 2 0 1 0", at("2024-05-16", "12:00:00"),
                at("2024-05-18", "12:00:00"));
}

TEST_F(SunWhen, ElevationExactToTheSecondAgainstThePlugin) {
    expectExact(BEIJING, "sun_elevation -60 0", at("2024-12-21"), at("2024-12-21", "23:59:59"));
    expectExact(BERLIN, "sun_elevation 300 900", at("2024-06-21", "06:00:00"),
                at("2024-06-21", "18:00:00"));
}

TEST_F(SunWhen, WithoutPlaceOrZoneNeverHolds) {
    clock_.emplace(plugin().api(), HomeSettings{});
    std::string error;
    ASSERT_TRUE(clock_->begin(error)) << error;
    std::vector<Interval> out;
    ASSERT_TRUE(whenHolds(*clock_, condition("sun_elevation -900 900"), at("2024-06-21"),
                          at("2024-06-21", "23:59:59"), out, error))
        << error;
    EXPECT_TRUE(out.empty());
}

TEST_F(SunWhen, ABadPlaceOrZoneStopsTheClock) {
    for (const HomeSettings &bad :
         {HomeSettings{std::make_pair(91.0, 0.0), std::string("CST-8")},
          HomeSettings{std::make_pair(39.9, 116.4), std::string("CST")}}) {
        ConditionClock clock(plugin().api(), bad);
        std::string error;
        EXPECT_FALSE(clock.begin(error));
        EXPECT_NE(error.find("refuses the"), std::string::npos) << error;
        EXPECT_EQ(clock.finish(), 0);
    }
}

// At 78N the sun neither rises in the polar night nor sets in the polar day.
TEST_F(SunWhen, CalendarOfAPolarYear) {
    ConditionClock &clock = clockAt(LONGYEARBYEN);
    std::vector<bool> daylight, night;
    std::string error;
    ASSERT_TRUE(heldDays(clock, condition("sun_window 1 0 2 0"), 2024, daylight, error)) << error;
    ASSERT_TRUE(heldDays(clock, condition("sun_window 2 0 1 0"), 2024, night, error)) << error;
    ASSERT_EQ(daylight.size(), 366U);
    const size_t jan1 = 0, jun21 = 172, dec21 = 355;
    EXPECT_FALSE(daylight[jan1]);
    EXPECT_FALSE(daylight[dec21]);
    EXPECT_TRUE(daylight[jun21]);
    EXPECT_FALSE(night[jun21]);
    EXPECT_TRUE(night[dec21]);
    // Each day has daylight, night or both; the days without daylight are
    // one stretch at each end of the year, those without night one in summer.
    for (size_t d = 0; d < daylight.size(); ++d)
        EXPECT_TRUE(daylight[d] || night[d]) << d;
    const auto firstSun = std::find(daylight.begin(), daylight.end(), true);
    const auto lastSun = std::find(daylight.rbegin(), daylight.rend(), true);
    EXPECT_TRUE(std::all_of(firstSun, lastSun.base(), [](bool b) { return b; }));
    const auto firstDay = std::find(night.begin(), night.end(), false);
    const auto lastDay = std::find(night.rbegin(), night.rend(), false);
    EXPECT_TRUE(std::none_of(firstDay, lastDay.base(), [](bool b) { return b; }));
    EXPECT_GT(lastDay.base() - firstDay, 100) << "about four months of midnight sun";
}

TEST(SunWords, TheSunConditionsSayWhatTheyMean) {
    EXPECT_EQ(describeCondition(condition("sun_window 2 1800 1 0")), "sunset + 30min\u2013sunrise");
    EXPECT_EQ(describeCondition(condition("sun_window 3 -3600 5 0")),
              "civil dawn - 1h\u2013solar noon");
    EXPECT_EQ(describeCondition(condition("sun_elevation -60 905")),
              "sun elevation -6.0\u201390.5\u00b0");
    EXPECT_TRUE(isSunCheck(condition("sun_window 1 0 2 0")));
    EXPECT_FALSE(isSunCheck(condition("time_of_day 0 60")));
}

TEST(SunScenario, PlaceAndZoneCommands) {
    const Scenario sc = parseScenario("start 2024-06-21 12:00:00\nlocation -33.92,+18.42\n"
                                      "zone <+0545>-5:45\ncheck sun_window 1 0 2 0 expect true\n",
                                      "sun.scn");
    ASSERT_TRUE(sc.errors.empty()) << sc.errors[0].message;
    ASSERT_EQ(sc.commands.size(), 4U);
    EXPECT_EQ(sc.commands[1].op, Op::Location);
    EXPECT_DOUBLE_EQ(sc.commands[1].latitude, -33.92);
    EXPECT_DOUBLE_EQ(sc.commands[1].longitude, 18.42);
    EXPECT_EQ(sc.commands[2].op, Op::Zone);
    EXPECT_EQ(sc.commands[2].zone, "<+0545>-5:45");
    EXPECT_EQ(sc.commands[3].check, CheckKind::SunWindow);
    for (const char *bad :
         {"location", "location 39.9", "location 39.9,", "location x,1", "location 1,2 3",
          "location nan,1", "location 1e999,1", "zone", "zone CST-8 extra",
          "check sun_window 1 0 2", "check sun_elevation 1"}) {
        const Scenario s =
            parseScenario(std::string("start 2024-06-21 12:00:00\n") + bad + "\n", "bad.scn");
        ASSERT_EQ(s.errors.size(), 1U) << bad;
        EXPECT_EQ(s.errors[0].line, 2) << bad;
    }
    EXPECT_EQ(parseLocation("39.9042,116.4074"), std::make_pair(39.9042, 116.4074));
    EXPECT_FALSE(parseLocation(" 39.9,116.4").has_value());
}

// show: today's sunrise and sunset once a place and a zone are set, from
// the same definition the plug-in answers by.
TEST(SunScenario, ShowGivesTodaysSunriseAndSunset) {
    if (plugin().api().setHomeLocation == nullptr)
        GTEST_SKIP() << "the plug-in does not provide sh_set_home_location";
    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    {
        Player player(plugin().api(), PlayerOptions{}, out);
        std::string error;
        ASSERT_TRUE(player.begin(error)) << error;
        const Scenario sc =
            parseScenario("start 2024-06-21 12:00:00\nshow\nlocation 39.9042,116.4074\n"
                          "zone CST-8\nshow\nlocation 78.2232,15.6267\nshow\n",
                          "show.scn");
        ASSERT_TRUE(sc.errors.empty());
        player.play(sc);
        player.finish();
    }
    std::rewind(out);
    std::string shown;
    for (int ch; (ch = std::fgetc(out)) != EOF;)
        shown += static_cast<char>(ch);
    std::fclose(out);
    // No line before the place and zone; then Beijing's; then midnight sun.
    const size_t first = shown.find("sun: ");
    ASSERT_NE(first, std::string::npos) << shown;
    EXPECT_GT(first, shown.find("zone CST-8"));
    EXPECT_NE(shown.find("sun: sunrise 04:46:"), std::string::npos) << shown;
    EXPECT_NE(shown.find(", sunset 19:46:"), std::string::npos) << shown;
    EXPECT_NE(shown.find("sun: sunrise none (up all day), sunset none (up all day)"),
              std::string::npos)
        << shown;
}

} // namespace
