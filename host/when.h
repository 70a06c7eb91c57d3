// SPDX-License-Identifier: MIT
// `sh-sys-host when`: the intervals in which a condition holds, found by
// asking the plug-in only where the answer can change.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plugin.h"
#include "scenario.h"

namespace shhost {

// The home's place and zone for the sun conditions, as --location and
// --zone give them.
struct HomeSettings {
    std::optional<std::pair<double, double>> location;
    std::optional<std::string> zone;
};

// The plug-in initialised on a clock of its own, with no delays pending;
// it answers conditions at any home second.
class ConditionClock {
  public:
    explicit ConditionClock(const PluginApi &api, HomeSettings home = {})
        : api_(api), home_(std::move(home)) {}
    // Initialises the plug-in and hands it the home's place and zone.
    bool begin(std::string &error);
    // The condition's answer at that home second; false with an error when
    // the native refuses the arguments (status 0).
    bool holdsAt(const Command &check, int64_t second, std::string &error);
    // Deinitialises the plug-in; the number of host blocks it left behind.
    long finish();
    // How many times the plug-in was asked.
    long questions() const { return questions_; }

  private:
    const PluginApi &api_;
    HomeSettings home_;
    bool initialised_ = false;
    long questions_ = 0;
};

struct Interval {
    int64_t first; // home seconds, both held
    int64_t last;
    bool operator==(const Interval &) const = default;
};

// Every interval of [from, to] (home seconds, both included) in which the
// condition holds, each as long as it can be. False with an error when the
// plug-in refuses the condition. The sun conditions are asked every
// SUN_STEP seconds and, where the answer changed, bisected to the second:
// a change closer than that to the one before can be missed.
inline constexpr int64_t SUN_STEP = 60;
bool whenHolds(ConditionClock &clock, const Command &check, int64_t from, int64_t to,
               std::vector<Interval> &out, std::string &error);

// "YYYY-MM-DD HH:MM:SS", "YYYY-MM-DDTHH:MM:SS" or a date alone, which is its
// first second, or its last when endOfDay; home seconds.
std::optional<int64_t> parseWhenTime(std::string_view text, bool endOfDay);

// The listing `when` prints: a heading, one line an interval, a total.
std::string whenReport(const Command &check, int64_t from, int64_t to,
                       const std::vector<Interval> &intervals);

} // namespace shhost
