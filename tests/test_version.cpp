// SPDX-License-Identifier: MIT
// The compile-time version of the header against the library's own answer:
// a host built against one header and run with another library sees it.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "kelvo_sh_sys.h"

namespace {

std::string textFromNumbers(int major, int minor, int patch, int tweak) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d.%02d.%02d", major, minor, patch, tweak);
    return buf;
}

TEST(Version, HeaderTextIsWhatTheLibraryAnswers) {
    EXPECT_STREQ(KELVO_SH_SYS_VERSION_TEXT, qo_sh_sys_version());
}

TEST(Version, NumbersSpellTheText) {
    EXPECT_EQ(textFromNumbers(KELVO_SH_SYS_VERSION_MAJOR, KELVO_SH_SYS_VERSION_MINOR,
                              KELVO_SH_SYS_VERSION_PATCH, KELVO_SH_SYS_VERSION_TWEAK),
              qo_sh_sys_version());
}

TEST(Version, PackedNumberOrdersLikeTheParts) {
    static_assert(KELVO_SH_SYS_VERSION >> 24 == KELVO_SH_SYS_VERSION_MAJOR);
    static_assert((KELVO_SH_SYS_VERSION >> 16 & 0xFF) == KELVO_SH_SYS_VERSION_MINOR);
    static_assert((KELVO_SH_SYS_VERSION >> 8 & 0xFF) == KELVO_SH_SYS_VERSION_PATCH);
    static_assert((KELVO_SH_SYS_VERSION & 0xFF) == KELVO_SH_SYS_VERSION_TWEAK);
    EXPECT_EQ(textFromNumbers(KELVO_SH_SYS_VERSION >> 24, KELVO_SH_SYS_VERSION >> 16 & 0xFF,
                              KELVO_SH_SYS_VERSION >> 8 & 0xFF, KELVO_SH_SYS_VERSION & 0xFF),
              qo_sh_sys_version());
}

} // namespace
