// SPDX-License-Identifier: MIT
// sh-sys-host when and calendar, in this process: the change points against
// asking the plug-in at every second, and the pictures as a renderer draws them.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#if KELVO_HAVE_PNG
#include <png.h>
#endif

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

// Asks at every second of [from, to]: slow, but it assumes nothing.
std::vector<Interval> everySecond(ConditionClock &clock, const Command &check, int64_t from,
                                  int64_t to) {
    std::vector<Interval> out;
    std::string error;
    for (int64_t s = from; s <= to; ++s) {
        if (!clock.holdsAt(check, s, error))
            continue;
        if (!out.empty() && out.back().last + 1 == s)
            out.back().last = s;
        else
            out.push_back({s, s});
    }
    EXPECT_EQ(error, "");
    return out;
}

class When : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(plugin().api().init, nullptr);
        std::string error;
        ASSERT_TRUE(clock.begin(error)) << error;
    }
    void TearDown() override { EXPECT_EQ(clock.finish(), 0) << "host blocks leaked"; }

    void expectExact(const std::string &text, int64_t from, int64_t to) {
        const Command check = condition(text);
        if (plugin().api().*checkNative(check.check).native == nullptr)
            GTEST_SKIP() << "the plug-in does not provide " << checkNative(check.check).name;
        std::vector<Interval> fast;
        std::string error;
        ASSERT_TRUE(whenHolds(clock, check, from, to, fast, error)) << error;
        const std::vector<Interval> slow = everySecond(clock, check, from, to);
        EXPECT_EQ(fast.size(), slow.size()) << text;
        EXPECT_TRUE(fast == slow) << text << "\n" << whenReport(check, from, to, fast);
    }

    ConditionClock clock{plugin().api()};
};

// A day and a few seconds over midnight into the lunar new year, from an odd
// second: every bound below falls in it once, and the window's own edges cut
// intervals too.
const int64_t FROM = at("2024-02-09", "21:59:58"), TO = at("2024-02-10", "22:00:03");

TEST_F(When, TimeRangeChangesOnlyAtItsBoundsAndMidnight) {
    for (const char *text : {
             "time_range -1 -1 -1 28800 -1 -1 -1 64800",  // office hours, bounds included
             "time_range -1 -1 -1 79200 -1 -1 -1 21600",  // over midnight: never
             "time_range -1 -1 -1 0 -1 -1 -1 86400",      // 86400 is 00:00:00: one second
             "time_range -1 -1 -1 -1 -1 -1 -1 86399",     // -1 reaches into yesterday
             "time_range -1 -1 -1 90000 -1 -1 -1 -90000", // whole days dropped
             "time_range 24 2 9 79200 24 2 10 21600",     // the night, with dates
             "time_range 24 2 -1 43200 -1 -1 10 43201",   // dates in part
             "time_range -1 -1 -1 86399 -1 -1 -1 86399",  // the last second only
         })
        expectExact(text, FROM, TO);
}

TEST_F(When, DayConditionsChangeOnlyAtMidnight) {
    for (const char *text : {"calendar 24 2 10", "week_day 0x60", "week_day 0x10", "lunar 1 1",
                             "lunar 12 30", "week_day 0"})
        expectExact(text, FROM, TO);
}

TEST_F(When, NewConditionsWhenThePluginHasThem) {
    for (const char *text :
         {"time_of_day 79200 21600", "time_of_day 0 86400", "time_of_day 28800 28800",
          "time_of_day 86399 1", "time_of_day 30000 30001"})
        expectExact(text, FROM, TO);
}

TEST_F(When, NewDayConditionsWhenThePluginHasThem) {
    // Lunar New Year's Eve of 2023 (2024-02-09) and the new year itself.
    for (const char *text : {"lunar_day 12 -1 0", "lunar_day 1 1 0", "lunar_day 12 30 -1"})
        expectExact(text, FROM, TO);
    // The Start of Spring of 2024 fell on 2024-02-04.
    for (const char *text : {"solar_term 0", "solar_term 1"})
        expectExact(text, at("2024-02-03", "22:00:00"), at("2024-02-05", "02:00:00"));
}

TEST_F(When, AsksOnlyAtChangePoints) {
    // Seven years: a day condition is asked once a day, time_range three
    // times; a window that starts mid-day adds one question.
    const int64_t from = at("2024-01-01"), to = at("2030-12-31", "23:59:59");
    const long days = (to + 1 - from) / 86400;
    std::vector<Interval> out;
    std::string error;
    ASSERT_TRUE(whenHolds(clock, condition("lunar 8 15"), from, to, out, error));
    EXPECT_EQ(clock.questions(), days);
    EXPECT_EQ(out.size(), 7u) << "one Mid-Autumn day a year";
    out.clear();
    ASSERT_TRUE(whenHolds(clock, condition("time_range -1 -1 -1 79200 -1 -1 -1 86399"), from, to,
                          out, error));
    EXPECT_EQ(clock.questions(), days + 2 * days) << "midnight and 22:00 each day";
    EXPECT_EQ(out.size(), static_cast<size_t>(days));
}

TEST_F(When, RefusedArgumentsAreAnErrorNotNever) {
    std::vector<Interval> out;
    std::string error;
    Command c = condition("lunar 8 15");
    c.ints.push_back(1); // a third argument: the native answers status 0
    c.text = "lunar 8 15 1";
    EXPECT_FALSE(whenHolds(clock, c, at("2025-01-01"), at("2025-01-02"), out, error));
    EXPECT_NE(error.find("sh_lunar_time refuses the arguments 'lunar 8 15 1'"), std::string::npos)
        << error;
}

TEST_F(When, CalendarMarksDaysThatHoldAtSomeMoment) {
    std::vector<bool> held;
    std::string error;
    // A second a day is enough for the day to count.
    ASSERT_TRUE(
        heldDays(clock, condition("time_range -1 -1 -1 86399 -1 -1 -1 86399"), 2024, held, error));
    EXPECT_EQ(held.size(), 366u);
    EXPECT_EQ(std::count(held.begin(), held.end(), true), 366);
    ASSERT_TRUE(heldDays(clock, condition("week_day 0x60"), 2025, held, error));
    EXPECT_EQ(held.size(), 365u);
    using namespace std::chrono;
    for (unsigned d = 0; d < 365; ++d) {
        const weekday w{sys_days{year{2025} / 1 / 1} + days{d}};
        EXPECT_EQ(held[d], w == Saturday || w == Sunday) << d;
    }
    ASSERT_TRUE(heldDays(clock, condition("calendar 25 2 29"), 2025, held, error));
    EXPECT_EQ(std::count(held.begin(), held.end(), true), 0) << "no 29 February in 2025";
}

TEST(WhenTimes, DatesAloneAndWithTheirTime) {
    EXPECT_EQ(parseWhenTime("2025-10-06", false), at("2025-10-06"));
    EXPECT_EQ(parseWhenTime("2025-10-06", true), at("2025-10-06", "23:59:59"));
    EXPECT_EQ(parseWhenTime("2025-10-06 12:34:56", true), at("2025-10-06", "12:34:56"));
    EXPECT_EQ(parseWhenTime("2025-10-06T12:34:56", false), at("2025-10-06", "12:34:56"));
    for (const char *bad :
         {"", "2025-10-06 12:34", "2100-01-01", "2025-02-29", "2025-10-06x00:00:00"})
        EXPECT_FALSE(parseWhenTime(bad, false).has_value()) << bad;
}

TEST(Words, EveryConditionSaysWhatItMeans) {
    const std::pair<const char *, const char *> cases[] = {
        {"lunar 8 15", "lunar day 8/15"},
        {"week_day 0x60", "Saturday or Sunday"},
        {"week_day 0x1F", "Monday to Friday"},
        {"week_day 0x15", "Monday, Wednesday or Friday"},
        {"week_day 0x7F", "every day of the week"},
        {"time_range -1 -1 -1 79200 -1 -1 -1 86399", "22:00\u201323:59:59 today"},
        {"time_range 24 12 24 64800 24 12 26 28800", "2024-12-24 18:00\u20132024-12-26 08:00"},
        {"calendar 25 10 6", "2025-10-06"},
        {"time_of_day 79200 21600", "22:00\u201306:00 (over midnight)"},
        {"time_of_day 0 86400", "00:00\u201324:00"},
        {"lunar_day 12 -1 0", "the last day of lunar month 12"},
        {"lunar_day 8 15 1", "lunar day 8/15 of the leap month"},
        {"solar_term 5", "solar term Clear and Bright"},
        {"solar_term 22", "solar term Winter Solstice"},
        {"solar_term 0", "any solar term"},
    };
    for (const auto &[text, words] : cases)
        EXPECT_EQ(describeCondition(condition(text)), words) << text;
}

// ---------------------------------------------------------------- picture

// The pixel check needs the PNG library of the machine the tests run on;
// cross builds have none, and rsvg-convert is the build machine's anyway.
#if KELVO_HAVE_PNG
struct Rgba {
    unsigned r, g, b;
};

// Decodes a PNG file into RGBA pixels.
bool readPng(const std::string &path, png_image &image, std::vector<png_byte> &pixels) {
    image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    pixels.resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
}

TEST_F(When, SvgRenderedByARealRendererFillsTheHeldDays) {
    if (std::system("command -v rsvg-convert > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert (Debian librsvg2-bin) is not installed";
    const Command check = condition("week_day 0x60");
    std::vector<bool> held;
    std::string error;
    ASSERT_TRUE(heldDays(clock, check, 2025, held, error)) << error;
    const std::string svg = calendarSvg(check, 2025, held);
    EXPECT_NE(svg.find("<title>Saturday or Sunday, 2025</title>"), std::string::npos);
    EXPECT_NE(svg.find(">holds at some moment of the day<"), std::string::npos) << "legend";
    EXPECT_NE(svg.find(">Su<"), std::string::npos) << "weekday headings";

    const auto dir = std::filesystem::temp_directory_path() /
                     ("sh-sys-host-svg-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "year.svg") << svg;
    const std::string cmd = "rsvg-convert -o '" + (dir / "year.png").string() + "' '" +
                            (dir / "year.svg").string() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    png_image image;
    std::vector<png_byte> pixels;
    ASSERT_TRUE(readPng((dir / "year.png").string(), image, pixels));
    std::filesystem::remove_all(dir);

    const auto pixel = [&](int x, int y) {
        const png_byte *p = &pixels[(static_cast<size_t>(y) * image.width + x) * 4];
        return Rgba{p[0], p[1], p[2]};
    };
    // Every day of the year: the corner of its cell, clear of its number.
    const std::regex rect(R"re(<rect id="d(\d{4}-\d\d-\d\d)" x="(\d+)" y="(\d+)")re");
    int days = 0, filled = 0;
    for (std::sregex_iterator i(svg.begin(), svg.end(), rect), end; i != end; ++i, ++days) {
        const std::string date = (*i)[1];
        const int x = std::stoi((*i)[2]) + 3, y = std::stoi((*i)[3]) + 3;
        ASSERT_LT(static_cast<unsigned>(x), image.width);
        ASSERT_LT(static_cast<unsigned>(y), image.height);
        const Rgba c = pixel(x, y);
        const bool dark = c.r + c.g + c.b < 3 * 160;
        const bool white = c.r > 245 && c.g > 245 && c.b > 245;
        EXPECT_EQ(dark, held[static_cast<size_t>(days)]) << date;
        EXPECT_EQ(white, !held[static_cast<size_t>(days)]) << date;
        filled += dark;
    }
    EXPECT_EQ(days, 365);
    EXPECT_EQ(filled, 104) << "the weekend days of 2025";
}
#endif

} // namespace

// ---------------------------------------------------------------- timers

// Stand-ins for the timer natives, built on the plug-in's own delays, so the
// player's side of restart and remaining is tested with any plug-in.
namespace fake {
const PluginApi *real = nullptr;
uint64_t now = 0;
std::vector<std::pair<int32_t, uint64_t>> due; // delay id (VM 1 only), due ms

bool timeUpdate(uint64_t ms) {
    now = ms;
    std::erase_if(due, [](const auto &d) { return d.second <= now; });
    return real->timeUpdate(ms);
}

bool restart(uint32_t vm, qo_object *argv, int32_t argc, qo_object *out) {
    bool ok = false;
    const int32_t id = qo_object_to_int32(argv[0], &ok);
    const int32_t seconds = qo_object_to_int32(argv[1], &ok);
    real->cancelDelay(vm, argv, 1, nullptr);
    std::erase_if(due, [&](const auto &d) { return d.first == id; });
    due.emplace_back(id, now + static_cast<uint64_t>(seconds) * 1000);
    *out = qo_object_new_bool(true);
    return real->delay(vm, argv, argc, nullptr);
}

bool remaining(uint32_t, qo_object *argv, int32_t, qo_object *out) {
    bool ok = false;
    const int32_t id = qo_object_to_int32(argv[0], &ok);
    int32_t left = -1;
    for (const auto &[pendingId, at] : due)
        if (pendingId == id)
            left = static_cast<int32_t>((at - now + 999) / 1000);
    *out = qo_object_new_int32(left);
    return true;
}
} // namespace fake

TEST(Player, RestartAndRemainingAsTheTimelineShowsThem) {
    PluginApi api = plugin().api();
    fake::real = &plugin().api();
    api.timeUpdate = fake::timeUpdate;
    api.delayRestart = fake::restart;
    api.delayRemaining = fake::remaining;
    const Scenario sc = parseScenario("start 2025-04-04 23:58:00\n"
                                      "restart 1 7 300\n"
                                      "advance 2m\n"
                                      "remaining 1 7 expect 180\n"
                                      "restart 1 7 300\n"
                                      "remaining 1 7 expect 300\n"
                                      "remaining 1 7 expect 299\n"
                                      "advance 4m59s\n"
                                      "tick +999ms\n"
                                      "remaining 1 7 expect 1\n"
                                      "tick +1ms\n"
                                      "remaining 1 7 expect -1\n"
                                      "show\n",
                                      "timers.scn");
    ASSERT_TRUE(sc.errors.empty()) << sc.errors[0].message;
    FILE *out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    Player player(api, {}, out);
    std::string error;
    ASSERT_TRUE(player.begin(error)) << error;
    EXPECT_FALSE(player.play(sc)) << "one expectation is wrong on purpose";
    EXPECT_EQ(player.finish(), 1);
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(out);
    const char *const lines[] = {
        "restart 1 7 300                              sh_delay_restart -> true, fires at "
        "2025-04-05 00:03:00\n",
        "remaining 1 7 expect 180                     sh_delay_remaining -> 1, 180   ok\n",
        "restart 1 7 300                              sh_delay_restart -> true (restarted), "
        "fires at 00:05:00\n", // today's now
        "remaining 1 7 expect 300                     sh_delay_remaining -> 1, 300   ok\n",
        "remaining 1 7 expect 299                     sh_delay_remaining -> 1, 300   FAILED\n",
        "timers.scn:7: expected 299 got 300\n",
        "remaining 1 7 expect 1                       sh_delay_remaining -> 1, 1   ok\n",
        "2025-04-05 00:05:00.000    event  vm 1  DelayId = 7\n",
        "remaining 1 7 expect -1                      sh_delay_remaining -> 1, -1   ok\n",
        "pending delays: none\n",
        "5 checks (1 failed)",
        "0 blocks leaked",
    };
    for (const char *line : lines)
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '='), 1) << "one event, after the restart";
}
