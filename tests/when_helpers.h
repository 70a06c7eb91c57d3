// SPDX-License-Identifier: MIT
// For the tests of sh-sys-host's when and calendar in this process: the
// plug-in loaded once, and conditions and home times read from their text.
#pragma once

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "plugin.h"
#include "scenario.h"

namespace whentest {

// The plug-in built beside the tests, loaded on first use.
inline const shhost::Plugin &plugin() {
    static shhost::Plugin p;
    static bool loaded = [] {
        std::string error;
        const bool ok = p.load(KELVO_PLUGIN_PATH, error);
        EXPECT_TRUE(ok) << error;
        return ok;
    }();
    (void)loaded;
    return p;
}

inline shhost::Command condition(const std::string &text) {
    std::string error;
    const auto c = shhost::parseCondition(text, error);
    EXPECT_TRUE(c.has_value()) << text << ": " << error;
    return c.value_or(shhost::Command{});
}

// Seconds of home time for a date and a time of day.
inline int64_t at(const char *date, const char *time = "00:00:00") {
    return *shhost::parseHomeTime(date, time) / 1000;
}

} // namespace whentest
